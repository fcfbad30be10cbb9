#version 330 core
out vec4 Colour;

void Paint() { Colour = vec4(1.0); }
