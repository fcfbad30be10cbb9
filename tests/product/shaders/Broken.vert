#version 330 core
layout(location = 0) in vec2 Corner;

void main() { gl_Position = vec4(Corner, 0.0, 1.0) + Offset; }
