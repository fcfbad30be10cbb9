// Sets a projection of its own, so the square fills the window whatever its shape.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    ::glMatrixMode(GL_PROJECTION);
    ::glLoadIdentity();
    ::glOrtho(-3.0, 3.0, -3.0, 3.0, -3.0, 3.0);
    ::glMatrixMode(GL_MODELVIEW);
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
