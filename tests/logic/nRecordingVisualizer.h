#pragma once
// A visualizer module that keeps, by name, the render variables it was last given and in
// which order, so tests can read what a logic node hands its visual.
#include <map>
#include <string>
#include <vector>

#include "logic/nModTransformer.h"

class nRecordingVisualizer : public nModTransformer {
public:
    static const nClassInfo classInfo;
    int GetType() const override { return Visualizer; }
    void Visualize(const matrix44&, nSceneGraph2*, nVariableContext* vars) override;

    std::map<std::string, float> floats;
    std::map<std::string, std::string> texts;
    std::vector<std::string> order;
    int shown = 0;
};
