#ifndef FLIMMERWERK_APP_PROGRAM_H_
#define FLIMMERWERK_APP_PROGRAM_H_

// The whole program, from SDL start to teardown. Returns 0 on a normal
// end (Escape or the window closed); fatal problems end the process with
// their own status.
int runProgram(int argc, char** argv);

#endif  // FLIMMERWERK_APP_PROGRAM_H_
