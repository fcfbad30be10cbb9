// A matrix call between glBegin and glEnd, which GL refuses there without a word.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glBegin(GL_TRIANGLES);
    ::glVertex2f(-2.0f, -2.0f);
    ::glMatrixMode(GL_MODELVIEW);
    ::glVertex2f(2.0f, -2.0f);
    ::glVertex2f(0.0f, 2.0f);
    ::glEnd();
}
