#pragma once
// The heads-up displays' fixture: a registered level whose divers are test divers with
// the names the displays read (the first human divers "ann" and "bob" with their keys,
// the other "rob" without; ann holds "hand" and carries a knife and a lamp), a display
// of the class under test at "/usr/logic/uwmenu" with every child a script makes (the
// figures named by the test, movies that keep their variables, the inventory bar's own
// movie), the base observer at "/sys/servers/observer", and mouse input through the
// input server.
#include <initializer_list>
#include <string>
#include <vector>

#include "game/nbwContainer.h"
#include "game/nbwLevel.h"
#include "game/nbwUwMenuBase.h"
#include "input/nInputServer.h"
#include "logic/nBaseObserver.h"
#include "logic/nLogicFlash.h"
#include "logic/nLogicInput.h"
#include "logic/nLogicInputServer.h"
#include "logic/nLogicSprite.h"
#include "logic/nPersistLogic.h"
#include "tests/game/GameTestKernel.h"

// A diver as the display reads it: the names it looks up, values kept by index.
class nHudDiver : public nTestSwimmer {
public:
    static const nClassInfo classInfo;
    enum { Lifepoints = 0, Energie = 1 };
    enum { Human = 0, Follow = 1, Singleplayer = 2 };
    enum { HandPath = 0, InventoryPath = 1 };
    const char* const* GetStatNames() const override {
        static const char* const n[] = {"lifepoints", "energie", nullptr};
        return n;
    }
    const char* const* GetFlagNames() const override {
        static const char* const n[] = {"human", "follow", "singleplayer", nullptr};
        return n;
    }
    const char* const* GetPathNames() const override {
        static const char* const n[] = {"hand", "inventory", nullptr};
        return n;
    }
    void Abort() override { aborted++; }
    int aborted = 0;
};

class UwMenuFixture : public GameTestKernel {
protected:
    // The level with the divers named (those starting with 'r' from the "robot"
    // prototype, the others from "diver"; ann and bob human) and a display of class `cls`
    // with the figure nodes named.
    void Build(const char* cls, std::initializer_list<const char*> figures,
               std::initializer_list<const char*> divers = {"ann", "bob", "rob"});

    nHudDiver* Diver(const char* name);
    nbwItem* Thing(const char* name, const char* type);
    // The display's Flash child `name`, made when missing.
    nLogicFlash* Flash(const char* name);
    std::string Value(const char* node, const char* var);
    float X(nLogicSprite* s);
    void MouseTo(int x, int y);
    // One game frame with the input read.
    void Frame(float dt);
    bool Active(const char* name);

    nBaseObserver* observer = nullptr;
    nbwLevel* level = nullptr;
    nHudDiver *ann = nullptr, *bob = nullptr, *rob = nullptr;
    nbwItem* hand = nullptr;
    std::string movie;
    nbwUwMenuBase* menu = nullptr;
    nLogicSprite* back = nullptr;
    nLogicFlash* selection = nullptr;
    nLogicSprite* selector = nullptr;
    nLogicInput* input = nullptr;
    nInputServer* inputServer = nullptr;
    double inputTime = 0.0;
};
