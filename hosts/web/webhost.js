// The page's side of the browser host: canvas, sound through an AudioWorklet, files kept in storage.
mergeInto(LibraryManager.library, {
  // What the page holds for the host: the canvas and its picture, the audio output.
  $WebPage: {
    canvas: null,
    context: null,
    picture: null,
    audio: null,
    storagePrefix: 'marrowdale/',
    // Ends the game loop's sleep early, while it sleeps.
    wakeLoop: null,
    // Listening for a first gamepad: this long, then not for the other; not while paused.
    paused: false,
    padListen: null,
    padListenMs: 1000,
    padDeafMs: 3000,
    listenForPads: function(on) {
      window[on ? 'addEventListener' : 'removeEventListener']('gamepadconnected', WebPage.padHeard);
      WebPage.padListen = setTimeout(WebPage.listenForPads, on ? WebPage.padListenMs : WebPage.padDeafMs, !on);
    },
    padHeard: function() {
      Module['padsSeen'] = true;
      clearTimeout(WebPage.padListen);
    },
    // Where a kept value the game could not use is set aside, never lost: this, its name and
    // the time it was found.
    asidePrefix: 'marrowdale-set-aside/',
    // A line the page shows the player (page.js's notices), and the console's copy.
    tell: function(text) {
      err('marrowdale: ' + text);
      if (Module['notice']) Module['notice'](text);
    },
  },
  // The page's file system names the program as Linux's /proc does, so the game finds its own
  // folder, where its data is preloaded (Graph/ and Sound/), as it does on the desktop.
  $WebPage__postset: "addOnPreRun(function() { FS.symlink('/marrowdale/marrowdale', '/proc/self/exe'); });",

  // The page's area for the picture in device pixels: the stage, less the page's bar when it
  // shows one.
  WebPageWidth: function() {
    return Math.floor(document.getElementById('stage').clientWidth * window.devicePixelRatio);
  },
  WebPageHeight: function() {
    return Math.floor(document.getElementById('stage').clientHeight * window.devicePixelRatio);
  },

  // Puts the 240 x 320 canvas at a place given in device pixels; its pixels are drawn as
  // squares of whole device pixels. The page then places what it shows around it.
  WebPlaceCanvas__deps: ['$WebPage'],
  WebPlaceCanvas: function(x, y, width, height) {
    var canvas = WebPage.canvas || (WebPage.canvas = document.getElementById('game'));
    var ratio = window.devicePixelRatio;
    canvas.style.left = (x / ratio) + 'px';
    canvas.style.top = (y / ratio) + 'px';
    canvas.style.width = (width / ratio) + 'px';
    canvas.style.height = (height / ratio) + 'px';
    if (Module['canvasPlaced']) Module['canvasPlaced']();
  },

  WebShowCanvas: function(show) {
    document.getElementById('game').style.visibility = show ? 'visible' : 'hidden';
  },

  // Draws a 240 x 320 frame of RGBA bytes; the page counts frames and notes the first's time.
  WebShowFrame__deps: ['$WebPage'],
  WebShowFrame: function(rgba) {
    if (!WebPage.context) {
      WebPage.context = document.getElementById('game').getContext('2d');
      WebPage.picture = WebPage.context.createImageData(240, 320);
    }
    WebPage.picture.data.set(HEAPU8.subarray(rgba, rgba + 240 * 320 * 4));
    WebPage.context.putImageData(WebPage.picture, 0, 0);
    if (Module['onFrame']) Module['onFrame']();
  },

  // The game's loop stands still for ms (Asyncify), or until WebWakeLoop: the player's input
  // should not wait for passes the loop ran ahead.
  WebSleep__deps: ['$WebPage', '$safeSetTimeout'],
  WebSleep: function(ms) {
    Asyncify.handleSleep(function(wakeUp) {
      var woken = false;
      var wake = function() {
        if (woken) return;
        woken = true;
        WebPage.wakeLoop = null;
        wakeUp();
      };
      // Not at once: the loop resumes only once the event that woke it has been handled.
      WebPage.wakeLoop = function() {
        WebPage.wakeLoop = null;
        safeSetTimeout(wake, 0);
      };
      safeSetTimeout(wake, ms);
    });
  },
  WebWakeLoop__deps: ['$WebPage'],
  WebWakeLoop: function() {
    if (WebPage.wakeLoop) WebPage.wakeLoop();
  },

  WebSetTitle: function(title) {
    document.title = UTF8ToString(title);
  },

  // Files the game renames into folder (a finished save) are kept in the page's storage, and
  // those kept before are put back now, before the game reads them. A kept value the game
  // could not have written is set aside under a key of its own and the player told; a
  // storage that is full or forbidden is said once, and the game plays on.
  WebKeepFiles__deps: ['$WebPage', '$WebStorage'],
  WebKeepFiles: function(folderPointer) {
    var folder = UTF8ToString(folderPointer);
    var storage = WebStorage.open();
    // Names whose kept value could not be set aside: never saved over in this visit.
    var held = {};
    if (storage) {
      // Kept games (games/...) stay in the storage only: the page sends them, not the game.
      WebStorage.keptNames(storage).filter(function(name) { return name.indexOf('/') < 0; }).forEach(function(name) {
        var bytes = WebStorage.restore(storage, name);
        if (bytes) FS.writeFile(folder + name, bytes);
        else if (bytes === null) held[name] = true;
      });
    }
    var rename = FS.rename;
    FS.rename = function(from, to) {
      rename(from, to);
      var name = to.substring(folder.length);
      if (!to.startsWith(folder) || name.indexOf('/') >= 0 || held[name]) return;
      WebStorage.keep(name, FS.readFile(to));
    };
  },
  // The storage's rules: what a kept file must be to be put back, and how it is written.
  $WebStorage__deps: ['$WebPage'],
  $WebStorage: {
    failed: false,
    // The browser's storage, or null (and the player told once) when it is forbidden.
    open: function() {
      try {
        return window.localStorage;
      } catch (e) {
        WebStorage.fail('this browser forbids the page\'s storage');
        return null;
      }
    },
    fail: function(why) {
      if (WebStorage.failed) return;
      WebStorage.failed = true;
      WebPage.tell(why + ': high scores last only while this page is open.');
    },
    // The names kept under prefix (the game's files' by default).
    keptNames: function(storage, prefix) {
      prefix = prefix || WebPage.storagePrefix;
      var names = [];
      for (var i = 0; i < storage.length; ++i) {
        var key = storage.key(i);
        if (key.startsWith(prefix)) names.push(key.substring(prefix.length));
      }
      return names;
    },
    // The kept file's bytes when they are usable; false when there were none to use (set
    // aside); null when they were unusable and could not be set aside.
    restore: function(storage, name) {
      var key = WebPage.storagePrefix + name;
      var text = storage.getItem(key);
      var bytes = WebStorage.decode(text);
      var check = WebStorage.checks[name];
      if (bytes && (!check || check(bytes))) return bytes;
      var aside = WebPage.asidePrefix + name + '/' + new Date().toISOString();
      try {
        storage.setItem(aside, text);
        storage.removeItem(key);
      } catch (e) {
        WebPage.tell('the stored ' + name + ' is damaged and the browser\'s storage has no room ' +
                     'to set it aside: the game plays with the default scores and saves none.');
        return null;
      }
      WebPage.tell('the stored high scores were damaged: they are kept aside in this ' +
                   'browser\'s storage as "' + aside + '", and the game starts with the default table.');
      return false;
    },
    decode: function(text) {
      try {
        return Uint8Array.from(atob(text), function(c) { return c.charCodeAt(0); });
      } catch (e) {
        return null;
      }
    },
    // Base64, a block of bytes at a time (a call takes only so many arguments).
    encode: function(bytes) {
      var text = '';
      for (var at = 0; at < bytes.length; at += 0x8000) {
        text += String.fromCharCode.apply(null, bytes.subarray(at, at + 0x8000));
      }
      return btoa(text);
    },
    // Whether the bytes were kept.
    keep: function(name, bytes) {
      var storage = WebStorage.open();
      if (!storage) return false;
      try {
        storage.setItem(WebPage.storagePrefix + name, WebStorage.encode(bytes));
        WebStorage.failed = false;
        return true;
      } catch (e) {
        WebStorage.fail('the browser\'s storage is full or forbidden (' + e.name + ')');
        return false;
      }
    },
    // The score table as the game writes it: 8 entries of a score (little-endian, from the
    // best down, never below zero) and 12 name bytes: the on-screen keyboard's letters and
    // spaces, ended by a zero within the first 11.
    checks: {
      'highscores.dat': function(bytes) {
        if (bytes.length !== 128) return false;
        var view = new DataView(bytes.buffer);
        for (var entry = 0, above = 0x7fffffff; entry < 8; ++entry) {
          var score = view.getInt32(16 * entry, true);
          if (score < 0 || score > above) return false;
          above = score;
          var end = bytes.subarray(16 * entry + 4, 16 * entry + 15).indexOf(0);
          if (end < 0) return false;
          for (var i = 0; i < end; ++i) {
            var c = bytes[16 * entry + 4 + i];
            if (c !== 32 && (c < 65 || c > 90)) return false;
          }
        }
        return true;
      },
    },
  },

  // The game in progress, kept in the page's storage as it is recorded, so that a page
  // reloaded, dropped or crashed goes on with it at the next visit. Each page keeps its game
  // under a name of its own and holds a lock of that name while it is open: a game whose lock
  // nobody holds was left behind. A page that resumes one takes it under its own name, marked
  // as resuming until the game goes on live: a mark left behind is a resume that ended the
  // page, and that game is set aside, never resumed again.
  $WebProgress__deps: ['$WebPage', '$WebStorage'],
  // A game left in progress is found before the game starts.
  $WebProgress__postset: 'addOnPreRun(function() { WebProgress.start(); });',
  $WebProgress: {
    prefix: 'marrowdale-playing/',
    resumingPrefix: 'marrowdale-resuming/',
    // Where the game to resume is put for the game, which gets --resume with it.
    file: '/resume/game.mdj',
    page: null,
    // Before the game starts: the page's name taken and its lock held; the newest game left
    // behind handed to the game, unless the address replays a journal or says no-resume.
    start: function() {
      WebProgress.page = Date.now().toString(36) + '-' + Math.random().toString(36).substring(2, 8);
      var locks = navigator.locks;
      if (locks) locks.request(WebProgress.prefix + WebProgress.page, function() { return new Promise(function() {}); });
      var search = new URLSearchParams(location.search);
      var storage = WebStorage.open();
      if (!storage || search.has('replay') || search.has('no-resume') || search.has('resume')) return;
      addRunDependency('resume');
      var held = locks ? locks.query().then(function(state) {
        return state.held.map(function(lock) { return lock.name; });
      }) : Promise.resolve([]);
      held.then(function(names) { WebProgress.claim(storage, names); }, function() {})
        .finally(function() { removeRunDependency('resume'); });
    },
    // The games no open page holds, newest first.
    leftBehind: function(storage, held) {
      var names = WebStorage.keptNames(storage, WebProgress.prefix).filter(function(name) {
        return held.indexOf(WebProgress.prefix + name) < 0;
      });
      var started = function(name) { return parseInt(name, 36); };
      return names.sort(function(a, b) { return started(b) - started(a); });
    },
    claim: function(storage, held) {
      var names = WebProgress.leftBehind(storage, held);
      var resumed = false;
      names.forEach(function(name) {
        var value = storage.getItem(WebProgress.prefix + name);
        if (storage.getItem(WebProgress.resumingPrefix + name) !== null) {
          WebProgress.setAside(storage, name, 'a game left in progress ended the page when it was resumed; it is not ' +
                               'resumed again, and is kept aside in this browser\'s storage');
        } else if (!resumed) {
          resumed = WebProgress.take(storage, name, value);
        }
      });
    },
    // A game left behind becomes this page's, marked as resuming, and goes to the game.
    take: function(storage, name, value) {
      var bytes = WebStorage.decode(value) || new Uint8Array(0);
      try {
        storage.removeItem(WebProgress.prefix + name);
        storage.setItem(WebProgress.prefix + WebProgress.page, value);
        storage.setItem(WebProgress.resumingPrefix + WebProgress.page, '1');
      } catch (e) {
        WebStorage.fail('the browser\'s storage is full or forbidden (' + e.name + ')');
      }
      FS.mkdirTree(WebProgress.file.substring(0, WebProgress.file.lastIndexOf('/')));
      FS.writeFile(WebProgress.file, bytes);
      Module['arguments'].push('--resume', WebProgress.file);
      return true;
    },
    // A page's game moved aside under the time it was found, and the player told.
    setAside: function(storage, name, told) {
      var value = storage.getItem(WebProgress.prefix + name);
      try {
        if (value !== null) storage.setItem(WebPage.asidePrefix + 'playing/' + new Date().toISOString(), value);
      } catch (e) {
        told = told.replace(/, and is kept aside.*/, '');
      }
      storage.removeItem(WebProgress.prefix + name);
      storage.removeItem(WebProgress.resumingPrefix + name);
      if (Module['notice']) Module['notice'](told + '.');
    },
  },

  // The journal of this page's game in progress, whole, into the storage (at most once a
  // second of play); a resume that gets here has gone on live.
  WebKeepProgress__deps: ['$WebProgress', '$WebStorage'],
  WebKeepProgress: function(journal, size) {
    var storage = WebStorage.open();
    if (!storage) return;
    try {
      storage.setItem(WebProgress.prefix + WebProgress.page, WebStorage.encode(HEAPU8.subarray(journal, journal + size)));
      storage.removeItem(WebProgress.resumingPrefix + WebProgress.page);
    } catch (e) {
      WebStorage.fail('the browser\'s storage is full or forbidden (' + e.name + ')');
    }
  },

  // No game in progress any more: this page's copy goes, or is set aside (a game that could
  // not be resumed).
  WebDropProgress__deps: ['$WebProgress', '$WebStorage'],
  WebDropProgress: function(aside) {
    var storage = WebStorage.open();
    if (!storage) return;
    if (aside) {
      WebProgress.setAside(storage, WebProgress.page, 'a game left in progress could not be resumed; it is kept ' +
                           'aside in this browser\'s storage');
    } else {
      storage.removeItem(WebProgress.prefix + WebProgress.page);
      storage.removeItem(WebProgress.resumingPrefix + WebProgress.page);
    }
  },

  // After a resume that could not go on: the page loads again.
  WebStartAgain: function() {
    location.reload();
  },

  // Leaving the page is the game's close request (a page kept for the back button is not left).
  WebWatchPageLeave__deps: ['WebLeavePage'],
  WebWatchPageLeave: function() {
    window.addEventListener('pagehide', function(event) {
      if (!event.persisted) _WebLeavePage();
    });
  },

  // A game kept at a name's DONE: its journal kept in the page's storage under games/, and the
  // page told whether the storage took it; the page offers to send it to the world's table, or
  // to download it.
  WebGameKept__deps: ['$WebStorage'],
  WebGameKept: function(namePointer, journal, size) {
    var name = UTF8ToString(namePointer);
    var bytes = HEAPU8.slice(journal, journal + size);
    var kept = WebStorage.keep('games/' + name, bytes);
    if (Module['onGameKept']) Module['onGameKept'](name, bytes, kept);
  },

  // The start tick of the world table's challenge the page asked for, or -1 for none.
  WebChallengeTick: function() {
    var tick = Module['challengeTick'];
    return typeof tick === 'number' && tick >= 0 && tick <= 0xffffffff ? tick : -1;
  },

  WebGameEnded: function() {
    if (Module['onGameEnded']) Module['onGameEnded']();
  },

  // Gamepads are looked at only once the page has seen one: asking the browser for them
  // starts its polling of the devices for good. Until then the page listens for one a second
  // in every four, as listening polls too (2% of a core, more than the whole game on its menu
  // in Chromium): a controller's button held or pressed again is noticed within four seconds.
  WebPadsSeen__deps: ['$WebPage'],
  WebPadsSeen: function() {
    if (Module['padsSeen'] === undefined) {
      Module['padsSeen'] = false;
      if (!WebPage.paused) WebPage.listenForPads(true);
    }
    return Module['padsSeen'] ? 1 : 0;
  },

  WebAudioPresent: function() {
    return (window.AudioContext || window.webkitAudioContext) && window.AudioWorkletNode ? 1 : 0;
  },

  // Opens the audio output; it starts only at the player's first tap or key, as browsers
  // require, and the page shows a sign till then. While it waits nothing is mixed, so the
  // game's sound starts whole. The rate it got, or 0.
  WebAudioOpen__deps: ['$WebPage', '$WebSound'],
  WebAudioOpen: function(rate) {
    var Context = window.AudioContext || window.webkitAudioContext;
    var context;
    try {
      context = new Context({sampleRate: rate, latencyHint: WebSound.latency});
    } catch (e) {
      try {
        context = new Context({latencyHint: WebSound.latency});
      } catch (e2) {
        return 0;
      }
    }
    var audio = {context: context, node: null, playing: false, held: false, heldRunning: false,
                 mixedFrames: 0, loudest: 0, postedFrames: 0, startFrame: -1, starvedFrames: 0};
    var module = URL.createObjectURL(new Blob([WebSound.player], {type: 'text/javascript'}));
    context.audioWorklet.addModule(module).then(function() {
      if (WebPage.audio !== audio) return;
      audio.node = new AudioWorkletNode(context, 'marrowdale-output',
                                        {numberOfInputs: 0, outputChannelCount: [2]});
      audio.node.port.onmessage = function(event) {
        if (event.data.startedAt !== undefined) audio.startFrame = Math.round(event.data.startedAt * context.sampleRate);
        if (event.data.starved) audio.starvedFrames += event.data.starved;
        WebSound.feed(audio, 0);
      };
      audio.node.connect(context.destination);
    }, function(error) {
      WebPage.tell('the sound cannot start (' + error + ')');
    });
    var gestures = ['keydown', 'mousedown', 'pointerup', 'touchend'];
    var start = function() {
      context.resume();
    };
    var showState = function() {
      if (Module['soundWaits']) Module['soundWaits'](context.state !== 'running' && !audio.held);
    };
    context.onstatechange = function() {
      showState();
      if (context.state !== 'running') return;
      gestures.forEach(function(type) { document.removeEventListener(type, start, true); });
    };
    gestures.forEach(function(type) { document.addEventListener(type, start, true); });
    WebPage.audio = audio;
    Module['audio'] = audio;
    showState();
    return context.sampleRate;
  },
  // The sound's path: the game's thread mixes (libmikmod is not thread-safe) between passes,
  // keeping the worklet a lead of frames ahead; the worklet plays them in order and says when
  // it starts and when it runs dry, so the page knows what it has played without asking.
  $WebSound__deps: ['$WebPage', 'WebMixAudio'],
  $WebSound: {
    // Larger output buffers wake the audio threads less often; the sound comes this much later.
    latency: 0.1,
    // Frames kept ahead of the output beyond what it takes at one go (its base latency): 2048
    // (46 ms at 44100 Hz, three passes and more), or over a longer sleep of the game's (quiet
    // passes at one go) what it sleeps and a margin; topped up in blocks of 2048.
    leadFrames: 2048,
    marginFrames: 1536,
    blockFrames: 2048,
    // The worklet: plays the blocks in order, whole; says when it starts, when it runs dry
    // (which wakes the page to mix) and, once blocks come again, for how many frames.
    player: [
      "'use strict';",
      'class Output extends AudioWorkletProcessor {',
      '  constructor() {',
      '    super();',
      '    this.blocks = [];',
      '    this.at = 0;',
      '    this.started = false;',
      '    this.dry = 0;',
      '    this.port.onmessage = (event) => { this.blocks.push(event.data); };',
      '  }',
      '  process(inputs, outputs) {',
      '    const [left, right] = outputs[0];',
      '    if (!this.started && this.blocks.length) {',
      '      this.started = true;',
      '      this.port.postMessage({startedAt: currentTime});',
      '    }',
      '    let i = 0;',
      '    while (i < left.length && this.blocks.length) {',
      '      const block = this.blocks[0];',
      '      for (; i < left.length && this.at < block.length; ++i, this.at += 2) {',
      '        left[i] = block[this.at] / 32768;',
      '        right[i] = block[this.at + 1] / 32768;',
      '      }',
      '      if (this.at === block.length) {',
      '        this.blocks.shift();',
      '        this.at = 0;',
      '      }',
      '    }',
      '    if (!this.started) return true;',
      '    if (i < left.length) {',
      '      if (!this.dry) this.port.postMessage({dry: true});',
      '      this.dry += left.length - i;',
      '    } else if (this.dry) {',
      '      this.port.postMessage({starved: this.dry});',
      '      this.dry = 0;',
      '    }',
      '    return true;',
      '  }',
      '}',
      "registerProcessor('marrowdale-output', Output);",
    ].join('\n'),
    // Mixes what the worklet needs to stay a lead ahead of what it has played over the next
    // sleepMs, if the sound plays at all.
    feed: function(audio, sleepMs) {
      if (!audio || !audio.node || !audio.playing || audio.held || audio.context.state !== 'running') return;
      if (audio.startFrame < 0 && audio.postedFrames > 0) return;
      var played = audio.startFrame < 0 ? 0 : Math.round(audio.context.currentTime *
                   audio.context.sampleRate) - audio.startFrame - audio.starvedFrames;
      // A dry spell not yet told counts as played: the worklet gets a lead again at once.
      var rate = audio.context.sampleRate;
      var lead = Math.max(WebSound.leadFrames, Math.ceil(sleepMs * rate / 1000) + WebSound.marginFrames) +
                 Math.ceil((audio.context.baseLatency || 0) * rate);
      for (var queued = Math.max(0, audio.postedFrames - played); queued < lead;
           queued += WebSound.blockFrames) {
        var at = _WebMixAudio(WebSound.blockFrames) >> 1;
        WebSound.post(audio, HEAP16.slice(at, at + 2 * WebSound.blockFrames));
      }
    },
    // loudest says only that something was heard (a test asks): once it is, blocks go
    // unread, as a sample-by-sample scan of every block is a cost the menu pays for ever.
    post: function(audio, samples) {
      var loudest = audio.loudest;
      for (var i = 0; !loudest && i < samples.length; ++i) loudest = Math.abs(samples[i]);
      audio.loudest = loudest;
      audio.mixedFrames += samples.length / 2;
      audio.postedFrames += samples.length / 2;
      audio.node.port.postMessage(samples, [samples.buffer]);
    },
  },
  // The game's thread, before it sleeps sleepMs: the sound topped up.
  WebFeedAudio__deps: ['$WebPage', '$WebSound'],
  WebFeedAudio: function(sleepMs) {
    WebSound.feed(WebPage.audio, sleepMs);
  },

  WebAudioPlay__deps: ['$WebPage', '$WebSound'],
  WebAudioPlay: function(playing) {
    if (WebPage.audio) WebPage.audio.playing = !!playing;
  },

  // The pause: the output stops where it is and nothing is mixed; it plays on after, if it
  // played before.
  WebAudioHold__deps: ['$WebPage'],
  WebAudioHold: function(hold) {
    var audio = WebPage.audio;
    if (!audio) return;
    audio.held = !!hold;
    if (hold && audio.context.state === 'running') {
      audio.heldRunning = true;
      audio.context.suspend();
    } else if (!hold && audio.heldRunning) {
      audio.heldRunning = false;
      audio.context.resume();
    }
  },

  // The pause's sign over the canvas, or (no title) none. Paused, the page stops listening for
  // a first gamepad (listening polls the devices): only the player's input wakes it.
  WebShowPause__deps: ['$WebPage'],
  WebShowPause: function(title, resume, leave) {
    WebPage.paused = !!title;
    if (Module['padsSeen'] === false) {
      clearTimeout(WebPage.padListen);
      if (title) window.removeEventListener('gamepadconnected', WebPage.padHeard);
      else WebPage.listenForPads(true);
    }
    if (!Module['pauseSign']) return;
    Module['pauseSign'](title ? [UTF8ToString(title), UTF8ToString(resume), UTF8ToString(leave)] : null);
  },

  WebAudioClose__deps: ['$WebPage'],
  WebAudioClose: function() {
    if (!WebPage.audio) return;
    var audio = WebPage.audio;
    WebPage.audio = null;
    if (audio.node) audio.node.disconnect();
    audio.context.onstatechange = null;
    audio.context.close();
    if (Module['soundWaits']) Module['soundWaits'](false);
  },
});
