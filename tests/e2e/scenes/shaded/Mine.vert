#version 330 core
layout(location = 0) in vec2 Corner;
uniform mat4 Projection;
uniform mat4 ModelView;

void main() { gl_Position = Projection * ModelView * vec4(Corner, 0.0, 1.0); }
