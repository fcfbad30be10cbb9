// The classic triangle: one colour at each corner, blended across the face.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glBegin(GL_TRIANGLES);
    ::glColor3f(1.0f, 0.0f, 0.0f);
    ::glVertex2f(-2.5f, -2.0f);
    ::glColor3f(0.0f, 1.0f, 0.0f);
    ::glVertex2f(2.5f, -2.0f);
    ::glColor3f(0.0f, 0.0f, 1.0f);
    ::glVertex2f(0.0f, 2.5f);
    ::glEnd();
}
