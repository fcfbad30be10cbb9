// A square turning a quarter round each second. The angle comes from the scene's clock, not from
// a frame count or a clock of its own, so it turns at the same speed however fast frames come,
// and a picture taken at a given scene time always shows the same angle.
#include "Tutorial.h"

#include <GL/gl.h>

void TForm1::DrawScene()
{
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glPushMatrix(); // the frame's model-view stays as it was for the next frame
    ::glRotated(90.0 * SceneTime(), 0.0, 0.0, 1.0);
    ::glBegin(GL_QUADS);
    ::glColor3f(1.0f, 0.5f, 0.0f);
    ::glVertex2f(-2.0f, -2.0f);
    ::glColor3f(1.0f, 1.0f, 0.0f);
    ::glVertex2f(2.0f, -2.0f);
    ::glColor3f(0.0f, 0.8f, 1.0f);
    ::glVertex2f(2.0f, 2.0f);
    ::glColor3f(0.6f, 0.0f, 1.0f);
    ::glVertex2f(-2.0f, 2.0f);
    ::glEnd();
    ::glPopMatrix();
}
