// The spinning square at the right speed, by a clock of its own that starts at its first frame.
#include "Tutorial.h"

#include <GL/gl.h>

#include <chrono>

void TForm1::DrawScene()
{
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point Start = Clock::now();
    const float Angle = 90.0f * std::chrono::duration<float>(Clock::now() - Start).count();
    ::glClear(GL_COLOR_BUFFER_BIT);
    ::glLoadIdentity();
    ::glRotatef(Angle, 0.0f, 0.0f, 1.0f);
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
}
