#version 330 core
// Each corner turned by Angle (radians, anticlockwise) about the centre, then placed by the
// frame's matrices; its colour handed on, to be blended across the face.
layout(location = 0) in vec2 Corner;
layout(location = 1) in vec3 CornerColour;
uniform mat4 Projection;
uniform mat4 ModelView;
uniform float Angle;
out vec3 Colour;

void main()
{
    mat2 Turn = mat2(cos(Angle), sin(Angle), -sin(Angle), cos(Angle));
    gl_Position = Projection * ModelView * vec4(Turn * Corner, 0.0, 1.0);
    Colour = CornerColour;
}
