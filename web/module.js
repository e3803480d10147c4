// The page's two hooks into the program's module; this file becomes part
// of the module's own scope, which holds ABORT, Asyncify and exit.

// Stops a program that waits for its next frame, as a killed process
// stops: its stack is never taken up again and it reports no status.
Module['stop'] = function() {
  ABORT = true;
};

// main that returns after it has once waited for a frame returns into the
// browser, not into the code that started it, and its status would be
// lost: end the program with it as the end of main does elsewhere.
Module['postRun'] = [function() {
  if (!Asyncify.currData) return;
  Asyncify.whenDone().then(function(status) {
    try {
      exit(status);
    } catch (e) {
      // exit() throws to unwind a caller that is long gone here.
    }
  });
}];

// The program stores every pixel of the screen in every frame, each with
// its alpha byte set (SDL_MapRGB sets it), so SDL need not read the canvas
// back into memory when the screen is locked, nor make each pixel opaque
// when it is unlocked: a frame goes to the canvas as one copy.
Module['screenIsReadOnly'] = true;
(Module['preRun'] = Module['preRun'] || []).push(function() {
  SDL.defaults.opaqueFrontBuffer = false;
});
