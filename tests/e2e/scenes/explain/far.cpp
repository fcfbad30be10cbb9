// The square moved far to the right, out of the view.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glPushMatrix();
    ::glTranslatef(10.0f, 0.0f, 0.0f);
    ::glRectf(-1.0f, -1.0f, 1.0f, 1.0f);
    ::glPopMatrix();
}
