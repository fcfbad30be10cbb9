// The lesser kinds in one frame: a clockwise triangle with back faces culled, a flat quad, a
// glPushMatrix never popped, a projection moved every frame, the depth test on a buffer never
// cleared.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glEnable(GL_CULL_FACE);
    ::glBegin(GL_TRIANGLES);
    ::glVertex2f(0.0f, 2.0f);
    ::glVertex2f(2.0f, -2.0f);
    ::glVertex2f(-2.0f, -2.0f);
    ::glEnd();
    ::glDisable(GL_CULL_FACE);
    ::glRectf(-1.0f, 1.0f, -1.0f, 2.0f);
    ::glPushMatrix();
    ::glMatrixMode(GL_PROJECTION);
    ::glTranslatef(0.0f, 0.0f, 0.0f);
    ::glScalef(1.0f, 1.0f, 1.001f);
    ::glMatrixMode(GL_MODELVIEW);
    ::glEnable(GL_DEPTH_TEST);
    ::glRectf(-0.5f, -0.5f, 0.5f, 0.5f);
    ::glDisable(GL_DEPTH_TEST);
}
