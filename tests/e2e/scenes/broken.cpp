// Does not compile: a statement with no semicolon.
#include "Tutorial.h"

void TForm1::DrawScene()
{
    int Unused = 1
}
