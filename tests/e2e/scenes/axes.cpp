// The two axes as thin lines on black: a reference that draws far less than 1 % of the picture.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glBegin(GL_LINES);
    ::glVertex2f(-100.0f, 0.0f);
    ::glVertex2f(100.0f, 0.0f);
    ::glVertex2f(0.0f, -100.0f);
    ::glVertex2f(0.0f, 100.0f);
    ::glEnd();
}
