#pragma once
// What a save may hold for one level, as the level's map declares it beside its build
// bounds: for each prototype that a store may name, the places its store may sit in, the
// values it may hold (numbers and vectors within a range, texts within a set or naming
// what play names there) and the values that play never changes, which a load leaves to
// the prototype (in the camp, where no build makes a store whole, sets to the prototype's).
// Check walks a save read into memory and refuses it whole at the first
// store, value or reference outside the declaration; read kindly (a load's reading), it
// brings what earlier play wrote inside instead, each with one log line.
#include <string>
#include <vector>

#include "game/BasinWater.h"

class nRoot;
class nPersist;
class nVariable;

class nbwSaveDeclaration {
public:
    // The key under which the level's own store is declared, and the place of a store
    // directly below it.
    static constexpr const char* LevelStore = ".";
    // The place of a store in the save's camp (what an air bag lifted).
    static constexpr const char* Camp = "camp";
    // Whether `name` is a value of the game's status: its word and its level.
    static bool IsStatusValue(const char* name);

    // `places`: space-separated chains of prototypes from the level's store down to the
    // store's parent ("." directly below the level's store, "diver/inventory" below the
    // inventory of a diver there, "camp" in the camp). `names`: the names the store may
    // have, space-separated, "" for any. False (with why) for a declaration that says
    // nothing.
    bool DeclareStore(const char* prototype, const char* places, const char* names, std::string& why);
    // A number ("i", "f"), a four-float vector ("v", each component) or a rotation ("q",
    // each component, and of unit length) within [lo, hi].
    bool DeclareNumber(const char* prototype, const char* name, const char* type, float lo, float hi,
                       std::string& why);
    // A text among `texts` (space-separated): a literal, or "@empty" (""), "@noaction"
    // (the game's no-action text), "@child" (the name of a store below this one), "@own"
    // ("a/b": store b below store a below this one), "@level" (a store directly below the
    // level's, by name or by its object's full path) or "@level:<prototype>" (the same,
    // of that prototype).
    bool DeclareText(const char* prototype, const char* name, const char* texts, std::string& why);
    // Values (space-separated names) that play never changes: a save may hold them, but
    // a load drops them and the prototype's stay; a store in the camp, which no build
    // makes whole again, holds the prototype's.
    bool DeclareFixed(const char* prototype, const char* names, std::string& why);
    // Declared values (space-separated names, fixed ones too) that every version of the
    // game's writer writes: a store without one of them lost a line and is refused.
    bool DeclareRequired(const char* prototype, const char* names, std::string& why);
    // A store of `prototype`, which play may use up, stays while a store of `waiting` lies
    // anywhere but `done` (a place, as DeclareStore takes it): without it the level could
    // not be finished.
    bool DeclareKeptFor(const char* prototype, const char* waiting, const char* done, std::string& why);
    // A store of `prototype` lying in the level's store holds each of `names` (flags) on
    // where the level's store of `cover` holds `value` at 0 (it no longer covers it): hidden
    // or out of reach there, it could never be taken.
    bool DeclareUncovered(const char* prototype, const char* names, const char* cover, const char* value,
                          std::string& why);
    // Narrows a declared vector or rotation: its x, y and z within [lo, hi] each (lo == hi
    // where play never moves it from the map's place).
    bool DeclareBox(const char* prototype, const char* name, const float lo[3], const float hi[3], std::string& why);
    // How many stores of the prototype a save holds: play uses up only some things, and
    // the others it keeps from a new game on.
    bool DeclareCount(const char* prototype, int lo, int hi, std::string& why);
    // Narrows a declared vector to the water that `water` (built) closes in, with room for
    // a body of `radius` round it: a kind reading brings a place outside it or inside a
    // solid to the nearest free place in it.
    bool DeclareWater(const char* prototype, const char* name, float radius, BasinWater water, std::string& why);
    bool IsEmpty() const { return protos_.empty(); }
    // Where the prototype's stores stand when play never moves them: a "txyz" box of one
    // point, declared so far.
    bool PinnedPlace(const std::string& prototype, vector3& at);

    // How Check reads values. Strict: as F5 checks what it wrote, each value inside its
    // range. Kind: as F9 reads what earlier play wrote, with one log line for each value
    // changed: a turn of a finite length other than zero normalised, a finite float or
    // vector outside its range or box at the nearest end (a thing that play never moves at
    // the map's place and turn), a place outside its water at the nearest free place in
    // it, a reference by the whole path of a store's own item as that item. Counts, flags,
    // other references, texts and what is not finite stay as strict.
    enum class Reading { Strict, Kind };
    // Checks the save read into `root` for the level named `level`: its "gamestatus"
    // (the game's word and level), its "camp" and the level's store, nothing else. True
    // when every store, value and reference is declared (no two stores of a name in one
    // place), with the fixed values dropped (in the camp, those of the prototype of that
    // name below `prototypes` put in their place) and
    // an action text that an older game wrote replaced by the no-action text (logged once);
    // else false with why. What the kind reading brought inside is logged only for a save
    // that passes.
    bool Check(nRoot* root, const char* level, std::string& why, Reading reading = Reading::Strict,
               nRoot* prototypes = nullptr);

private:
    bool CheckAll(nRoot* root, const char* level, std::string& why, Reading reading, nRoot* prototypes);
    // A line of the kind reading, kept until the whole save has passed.
    void Note(const char* format, ...) __attribute__((format(printf, 2, 3)));
    struct Value {
        std::string name;
        char type = 0;  // 'i', 'f', 'v', 'q', 's', or 0 for a fixed value
        float lo = 0.0f, hi = 0.0f;
        std::vector<std::string> texts;
        bool boxed = false;
        float boxLo[3] = {0, 0, 0}, boxHi[3] = {0, 0, 0};
        float room = 0.0f;  // > 0: a place kept in the water with room for a body this size
        bool required = false;
    };
    struct Proto {
        std::string name;
        std::vector<std::string> places;
        std::vector<std::string> names;
        std::vector<Value> values;
        int countLo = 0, countHi = -1;  // -1: any number
        int seen = 0;  // stores of it in the save being checked
        std::vector<std::string> seenAt;  // and their places
        std::string keptFor, keptUntil;  // DeclareKeptFor's `waiting` and `done`
        std::vector<std::string> shown;  // DeclareUncovered's `names`, `cover` and `value`
        std::string cover, coverValue;
    };
    Proto& Declared(const char* prototype);
    Proto* Find(const std::string& prototype);
    static Value* FindValue(Proto& p, const std::string& name);
    Value& ValueOf(Proto& p, const char* name);
    bool CheckStore(nRoot* store, const std::string& place, std::string& why);
    bool CheckValues(nRoot* store, Proto& p, bool camp, std::string& why);
    // Which of the water's things stand where the map puts them in the save being read, by
    // the things' own stores there.
    void StandThings();
    bool Names(const std::string& kind, const std::string& text, nRoot* store) const;
    // The own item (as "@own" names it) that `text`, the whole path of an object of the
    // level, names below the store's own object; "" when it names anything else.
    std::string OwnByPath(const std::string& text, nRoot* store) const;
    // Whether a store that play may use up is there where the level still needs it.
    bool KeptWhereNeeded(std::string& why) const;
    // Whether what its cover no longer hides is in sight and reach.
    bool ShownWhereUncovered(std::string& why) const;
    bool InRange(const Value& d, const nVariable& v) const;
    // Brings a float, vector or turn that earlier play wrote inside `d` (logged); false
    // when it cannot be: not finite, a turn of no length, a place with no room near it.
    bool ReadKindly(const Value& d, nVariable& v, const std::string& at);

    std::vector<Proto> protos_;
    // The walk's level store and name.
    nRoot* levelStore_ = nullptr;
    std::string level_;
    bool actionLogged_ = false;
    std::vector<std::string> notes_;
    Reading reading_ = Reading::Strict;
    nRoot* prototypes_ = nullptr;
    BasinWater water_;
};
