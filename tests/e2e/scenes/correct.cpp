// A correct answer drawn another way: the square from -3 to 3 as a quad.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glBegin(GL_QUADS);
    ::glVertex2f(-3.0f, -3.0f);
    ::glVertex2f(3.0f, -3.0f);
    ::glVertex2f(3.0f, 3.0f);
    ::glVertex2f(-3.0f, 3.0f);
    ::glEnd();
}
