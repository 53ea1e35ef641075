// The page's side of the browser host: canvas, sound through Web Audio, files kept in storage.
mergeInto(LibraryManager.library, {
  // What the page holds for the host: the canvas and its picture, the audio output.
  $WebPage: {
    canvas: null,
    context: null,
    picture: null,
    audio: null,
    storagePrefix: 'marrowdale/',
  },
  // The page's file system names the program as Linux's /proc does, so the game finds its own
  // folder, where its data is preloaded (Graph/ and Sound/), as it does on the desktop.
  $WebPage__postset: "addOnPreRun(function() { FS.symlink('/marrowdale/marrowdale', '/proc/self/exe'); });",

  // The page's area in device pixels.
  WebPageWidth: function() {
    return Math.floor(window.innerWidth * window.devicePixelRatio);
  },
  WebPageHeight: function() {
    return Math.floor(window.innerHeight * window.devicePixelRatio);
  },

  // Puts the 240 x 320 canvas at a place given in device pixels; its pixels are drawn as
  // squares of whole device pixels.
  WebPlaceCanvas__deps: ['$WebPage'],
  WebPlaceCanvas: function(x, y, width, height) {
    var canvas = WebPage.canvas || (WebPage.canvas = document.getElementById('game'));
    var ratio = window.devicePixelRatio;
    canvas.style.left = (x / ratio) + 'px';
    canvas.style.top = (y / ratio) + 'px';
    canvas.style.width = (width / ratio) + 'px';
    canvas.style.height = (height / ratio) + 'px';
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

  WebSetTitle: function(title) {
    document.title = UTF8ToString(title);
  },

  // Files the game renames into folder (a finished save) are kept in the page's storage, and
  // those kept before are put back now, before the game reads them.
  WebKeepFiles__deps: ['$WebPage'],
  WebKeepFiles: function(folderPointer) {
    var folder = UTF8ToString(folderPointer);
    var say = function(what, error) {
      err('marrowdale: ' + what + ' (' + error + '); high scores last only while the page is open');
    };
    var storage;
    try {
      storage = window.localStorage;
      for (var i = 0; i < storage.length; ++i) {
        var key = storage.key(i);
        if (!key.startsWith(WebPage.storagePrefix)) continue;
        var name = key.substring(WebPage.storagePrefix.length);
        var bytes = Uint8Array.from(atob(storage.getItem(key)), function(c) { return c.charCodeAt(0); });
        FS.writeFile(folder + name, bytes);
      }
    } catch (e) {
      say('the page cannot read its storage', e);
      return;
    }
    var rename = FS.rename;
    FS.rename = function(from, to) {
      rename(from, to);
      if (to.lastIndexOf('/') + 1 !== folder.length || !to.startsWith(folder)) return;
      try {
        var bytes = FS.readFile(to);
        storage.setItem(WebPage.storagePrefix + to.substring(folder.length),
                        btoa(String.fromCharCode.apply(null, bytes)));
      } catch (e) {
        say('the page cannot keep ' + to, e);
      }
    };
  },

  // Leaving the page is the game's close request (a page kept for the back button is not left).
  WebWatchPageLeave__deps: ['WebLeavePage'],
  WebWatchPageLeave: function() {
    window.addEventListener('pagehide', function(event) {
      if (!event.persisted) _WebLeavePage();
    });
  },

  WebGameEnded: function() {
    if (Module['onGameEnded']) Module['onGameEnded']();
  },

  WebAudioPresent: function() {
    return (window.AudioContext || window.webkitAudioContext) ? 1 : 0;
  },

  // Opens the audio output; it starts only at the player's first tap or key, as browsers
  // require. While it waits nothing is mixed, so the game's sound starts whole. The rate it
  // got, or 0.
  WebAudioOpen__deps: ['$WebPage', 'WebMixAudio'],
  WebAudioOpen: function(rate, frames) {
    var Context = window.AudioContext || window.webkitAudioContext;
    var context;
    try {
      context = new Context({sampleRate: rate});
    } catch (e) {
      try {
        context = new Context();
      } catch (e2) {
        return 0;
      }
    }
    var node = context.createScriptProcessor(frames, 0, 2);
    var audio = {context: context, node: node, playing: false, mixedFrames: 0, loudest: 0};
    node.onaudioprocess = function(event) {
      var left = event.outputBuffer.getChannelData(0);
      var right = event.outputBuffer.getChannelData(1);
      if (!audio.playing) {
        left.fill(0);
        right.fill(0);
        return;
      }
      var samples = HEAP16.subarray(_WebMixAudio(left.length) >> 1);
      var loudest = audio.loudest;
      for (var i = 0; i < left.length; ++i) {
        left[i] = samples[2 * i] / 32768;
        right[i] = samples[2 * i + 1] / 32768;
        loudest = Math.max(loudest, Math.abs(samples[2 * i]), Math.abs(samples[2 * i + 1]));
      }
      audio.loudest = loudest;
      audio.mixedFrames += left.length;
    };
    node.connect(context.destination);
    var gestures = ['keydown', 'mousedown', 'pointerup', 'touchend'];
    var start = function() {
      context.resume();
    };
    context.onstatechange = function() {
      if (context.state !== 'running') return;
      gestures.forEach(function(type) { document.removeEventListener(type, start, true); });
    };
    gestures.forEach(function(type) { document.addEventListener(type, start, true); });
    WebPage.audio = audio;
    Module['audio'] = audio;
    return context.sampleRate;
  },

  WebAudioPlay__deps: ['$WebPage'],
  WebAudioPlay: function(playing) {
    if (WebPage.audio) WebPage.audio.playing = !!playing;
  },

  WebAudioClose__deps: ['$WebPage'],
  WebAudioClose: function() {
    if (!WebPage.audio) return;
    WebPage.audio.node.disconnect();
    WebPage.audio.context.close();
    WebPage.audio = null;
  },
});
