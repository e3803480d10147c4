#ifndef FLIMMERWERK_SCENE_FATAL_H_
#define FLIMMERWERK_SCENE_FATAL_H_

// Writes the message to standard error and ends the process with the
// status. The program's own objects are not torn down on this path. For
// the scene and the program's driver; the configuration reader never stops
// the program, it reports and carries on.
[[noreturn]] void fatal(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

#endif  // FLIMMERWERK_SCENE_FATAL_H_
