#version 330 core
out vec4 Colour;
void main()
{
    Colour = vec4(1.0, 1.0, 1.0, 1.0);
}
