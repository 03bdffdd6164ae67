#pragma once
// Scratch area of one pair or line check: a shape test appends its contact reports or
// line hits here, at most 255 of each, and the context files them afterwards.
#include "collide/nCollType.h"
#include "collide/nCollideReport.h"

class nCollideContext2;

class nCollideReportBuffer {
public:
    static constexpr int MaxReports = 255;
    static constexpr int MaxLineHits = 255;

    // Counts to 0 and busy, before a test runs; the slots keep what they hold.
    void Begin(nCollType type) {
        collType = type;
        numReports = 0;
        numLineHits = 0;
        busy = true;
    }
    bool IsFull() const { return numReports >= MaxReports; }
    bool LineHitsFull() const { return numLineHits >= MaxLineHits; }
    // "contact" asks only whether the shapes meet: nothing is written then.
    bool WantsReports() const { return collType != COLLTYPE_CONTACT; }

    nCollideContext2* owner = nullptr;
    bool busy = false;
    int numReports = 0;
    int numLineHits = 0;
    nCollideReport reports[MaxReports];
    nCollideLineHit lineHits[MaxLineHits];
    nCollType collType = COLLTYPE_IGNORE;
};
