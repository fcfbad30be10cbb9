// Draws the expected square for three frames, then writes through a null pointer: a crash that
// comes while the program is being pictured.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    static int Frames = 0;
    if (++Frames > 3)
        *static_cast<volatile int*>(nullptr) = 1;
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
