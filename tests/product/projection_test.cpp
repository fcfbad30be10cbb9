#include "MainWindow.h"

#include <GL/gl.h>
#include <gmock/gmock.h>

#include <array>
#include <cmath>

namespace
{

struct TShape
{
    int Width, Height;
    double Left, Right, Bottom, Top; // the orthographic bounds the shape must give
};

// Column-major, as GL returns it.
std::array<double, 16> Ortho(const TShape& S)
{
    const double Near = -3, Far = 3;
    std::array<double, 16> M{};
    M[0] = 2 / (S.Right - S.Left);
    M[5] = 2 / (S.Top - S.Bottom);
    M[10] = -2 / (Far - Near);
    M[12] = -(S.Right + S.Left) / (S.Right - S.Left);
    M[13] = -(S.Top + S.Bottom) / (S.Top - S.Bottom);
    M[14] = -(Far + Near) / (Far - Near);
    M[15] = 1;
    return M;
}

std::array<double, 16> Matrix(GLenum Which)
{
    std::array<double, 16> M{};
    ::glGetDoublev(Which, M.data());
    return M;
}

class Projection : public MainWindow, public testing::WithParamInterface<TShape>
{
};

TEST_P(Projection, TheShorterSideSpansExactlyMinusThreeToThree)
{
    const TShape Shape = GetParam();
    // A scene transform left over from before must not survive the resize.
    ::glMatrixMode(GL_MODELVIEW);
    ::glTranslated(1, 2, 3);
    ::glMatrixMode(GL_PROJECTION);

    // NOTE: a captioned window has a minimum width; a frameless one may shrink to nothing.
    ::SetWindowLongPtrW(Window, GWL_STYLE, WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS);
    ::SetWindowPos(Window, nullptr, 0, 0, Shape.Width, Shape.Height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    ASSERT_EQ(Form1->GetClientWidth(), Shape.Width);
    ASSERT_EQ(Form1->GetClientHeight(), Shape.Height);

    EXPECT_EQ(::glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    GLint Viewport[4] = {};
    ::glGetIntegerv(GL_VIEWPORT, Viewport);
    EXPECT_THAT(Viewport, testing::ElementsAre(0, 0, Shape.Width, Shape.Height));

    // GL keeps its matrices in single precision.
    const auto Projection = Matrix(GL_PROJECTION_MATRIX);
    const auto Expected = Ortho(Shape);
    for (int I = 0; I < 16; ++I)
    {
        EXPECT_TRUE(std::isfinite(Projection[I])) << I;
        EXPECT_FLOAT_EQ(static_cast<float>(Projection[I]), static_cast<float>(Expected[I])) << I;
    }

    GLint Mode = 0;
    ::glGetIntegerv(GL_MATRIX_MODE, &Mode);
    EXPECT_EQ(Mode, GL_MODELVIEW);
    const auto ModelView = Matrix(GL_MODELVIEW_MATRIX);
    for (int I = 0; I < 16; ++I)
        EXPECT_EQ(ModelView[I], I % 5 == 0 ? 1.0 : 0.0) << I;
}

// A zero side counts as one pixel: the bounds stay finite and the viewport is empty.
INSTANTIATE_TEST_SUITE_P(
    Shapes, Projection,
    testing::Values(TShape{800, 400, -6, 6, -3, 3}, TShape{400, 800, -3, 3, -6, 6},
                    TShape{600, 600, -3, 3, -3, 3},
                    TShape{1000, 333, -3000.0 / 333, 3000.0 / 333, -3, 3},
                    TShape{333, 1000, -3, 3, -3000.0 / 333, 3000.0 / 333},
                    TShape{1, 1, -3, 3, -3, 3}, TShape{0, 300, -3, 3, -900, 900},
                    TShape{300, 0, -900, 900, -3, 3}, TShape{0, 0, -3, 3, -3, 3}));

TEST_F(MainWindow, MinimisingAndRestoringLeavesTheProjectionRight)
{
    Form1->SetClientSize(800, 400);
    ::ShowWindow(Window, SW_SHOW);
    ::ShowWindow(Window, SW_MINIMIZE);
    EXPECT_EQ(::glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    for (const double Value : Matrix(GL_PROJECTION_MATRIX))
        EXPECT_TRUE(std::isfinite(Value));

    ::ShowWindow(Window, SW_RESTORE);
    ASSERT_EQ(Form1->GetClientWidth(), 800);
    ASSERT_EQ(Form1->GetClientHeight(), 400);
    EXPECT_FLOAT_EQ(static_cast<float>(Matrix(GL_PROJECTION_MATRIX)[0]), 2.0f / 12);
}

} // namespace
