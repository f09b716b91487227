#include "callersconsole.h"

void answerInCallersConsole() {}
