// A white square exactly covering -3..3 on both axes: whatever the window's shape, it fits,
// stays square and is centred.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glColor3f(1.0f, 1.0f, 1.0f);
    ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
