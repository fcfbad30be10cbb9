// A glBegin whose glEnd was forgotten.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glBegin(GL_LINES);
    ::glVertex2f(0.0f, 0.0f);
    ::glVertex2f(1.0f, 1.0f);
}
