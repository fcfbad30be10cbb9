// A white square on a white background.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    ::glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glColor3f(1.0f, 1.0f, 1.0f);
    ::glRectf(-1.0f, -1.0f, 1.0f, 1.0f);
}
