// The tools' side of the recorder (Recorder.h is the scene's): examining one frame of the scene
// and what the recorded calls prove about it. Used by the picture driver (Driver.cpp) and
// available to the watch host, which exports it to its scene modules.
#pragma once

#include <string>
#include <vector>

namespace TutorialRecorder
{

// From here until Stop, the scene's recorded calls are examined. Call it with the form's
// context current, right before the frame is drawn.
void Start();

// Ends the examination: the findings about the frame just drawn, one Contract::FindingLine
// each, each once, in the order the calls were made. FILE is the scene's file as it was compiled.
std::vector<std::string> Stop();

} // namespace TutorialRecorder
