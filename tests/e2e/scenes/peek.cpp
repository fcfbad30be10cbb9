// Takes a scene from the framework's own folder, where a teacher's solution may lie too: only the
// headers a scene needs may be in reach.
#include "Scene.cpp"
