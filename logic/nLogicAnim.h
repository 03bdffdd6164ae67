#pragma once
// A visual logic node animated on its own clock (script class "nlogicanim"): doors, lifts
// and lights whose "default" animator state carries vector and script animators. The
// state runs once a frame in nLogicVisual2::Trigger at the node time, while that time is
// within the state's length (always for a length of 0; the frame stepping past it runs
// the state once at the length); this class adds nothing to that,
// so the animators never run twice in one frame.
#include "logic/nLogicVisual2.h"

class nLogicAnim : public nLogicVisual2 {
public:
    static const nClassInfo classInfo;
};
