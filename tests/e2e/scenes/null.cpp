// Writes through a null pointer at the first frame.
#include "Tutorial.h"

void TForm1::DrawScene()
{
    *static_cast<volatile int*>(nullptr) = 1;
}
