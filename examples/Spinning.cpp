// A square turning a quarter round each second. The angle comes from the clock, not from a
// frame count, so it turns at the same speed however fast frames come.
#include "Tutorial.h"

#include <GL/gl.h>

#include <chrono>

void TForm1::DrawScene()
{
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point Start = Clock::now();
    const double Seconds = std::chrono::duration<double>(Clock::now() - Start).count();

    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glPushMatrix(); // the frame's model-view stays as it was for the next frame
    ::glRotated(90.0 * Seconds, 0.0, 0.0, 1.0);
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
