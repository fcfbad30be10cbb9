// The scene of the program as shipped: nothing. An exercise is a file like this one with a
// body of its own (see examples/); the projection shows -3..3 on the window's shorter side.
#include "Tutorial.h"

void TForm1::DrawScene() {}
