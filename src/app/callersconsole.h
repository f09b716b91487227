#pragma once

// A window program on Windows has no console of its own: its answers go to the one it was
// started from, unless its output already goes somewhere (a pipe, a file). Elsewhere
// nothing is needed.
void answerInCallersConsole();
