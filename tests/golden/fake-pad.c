/* A game controller for recording golden games in a window: preloaded into the game
 * (LD_PRELOAD), it attaches an SDL virtual game controller once SDL's joysticks are up, and
 * each time the game has SDL gather its events (SDL_PumpEvents) presses and lets go of its
 * buttons as the lines appended to the file $MARROWDALE_FAKE_PAD say: "BUTTON 1" presses
 * SDL's button number BUTTON (0 A, 1 B, 2 X, 3 Y, 4 back, 6 start, 11 to 14 the d-pad up,
 * down, left, right), "BUTTON 0" lets it go. The game sees it as any controller SDL opens. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

static SDL_Joystick *pad;
static FILE *script;

static void PressAsTold(void) {
    int button, down;
    if (!pad) {
        const char *path = getenv("MARROWDALE_FAKE_PAD");
        if (!path || !SDL_WasInit(SDL_INIT_JOYSTICK)) return;
        int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 0);
        pad = index < 0 ? NULL : SDL_JoystickOpen(index);
        script = pad ? fopen(path, "r") : NULL;
        if (!script) {
            fprintf(stderr, "fake-pad: no controller: %s\n", SDL_GetError());
            exit(3);
        }
    }
    clearerr(script);
    while (fscanf(script, "%d %d\n", &button, &down) == 2) {
        SDL_JoystickSetVirtualButton(pad, button, down ? SDL_PRESSED : SDL_RELEASED);
    }
}

void SDL_PumpEvents(void) {
    static void (*pump)(void);
    if (!pump) pump = (void (*)(void))dlsym(RTLD_NEXT, "SDL_PumpEvents");
    PressAsTold();
    pump();
}
