#pragma once
// An item that holds other items as its children (script class "nbwcontainer"): a
// diver's inventory, a bag, a basket's hold. It keeps running totals of the volume and
// weight it holds, refuses what would not fit, and moves each item's persistent store
// along with the item, so that the store tree keeps mirroring the logic tree.
#include "game/nbwItem.h"

class nbwContainer : public nbwItem {
public:
    static const nClassInfo classInfo;

    // Appended to the item's table. The item's own "volume" is the room it offers and
    // its own "weight" its empty weight.
    enum ContainerVar { MaxCapacity = nbwItem::NumVars, UsedWeight, UsedVolume, NumContainerVars };

    nbwContainer();

    // "weight" (19) is the container's own weight plus what it holds, so a container
    // inside another counts with its contents.
    float GetFloat(int index) override;
    // "usedweight" (26) is stored as given while no item is inside: a clone or a load
    // replays it before the items exist. With items inside it becomes their true total,
    // and a value that differs from it is logged.
    void SetFloat(int index, float value) override;

    // Whether `container` has room for `item`: its own volume first, then the weight
    // limit of the container and of every container enclosing it (weight that such a
    // container already counts because the item lies below it is not counted twice).
    // Equality passes. Null for either is false.
    static bool CanHold(nbwContainer* container, nbwItem* item);
    // Makes `item` the last child of this container and its store the last child of
    // this container's store, storing the item before the move and restoring it after.
    // The totals of this container and of every enclosing one rise; those of a container
    // that held the item before fall. False, logged where it is no plain refusal, and
    // nothing changed when the item does not fit, is already inside, would end up below
    // itself, or when either store does not resolve.
    bool PackIn(nbwItem* item);
    // Takes `item`, a child of this container, out to `target`: a container packs it in
    // (when it refuses, nothing changes), any other logic node with a store takes it and
    // its store. False, logged, and nothing changed otherwise.
    bool PackOut(nbwItem* item, nRoot* target);
    // Uses `item` up: deactivated, taken out of the totals of `holder` (and the containers
    // enclosing it), its store released, the item released at the start of the next
    // frame. When the holder has a child "hand" and sits in an actor, the actor's "hand"
    // path is set to that child, named as the actor names what it holds
    // ("inventory/hand"). A holder that is no container skips the totals and the hand.
    // False, logged, and nothing changed when the item is not the holder's child or has
    // no store.
    static bool Consume(nRoot* holder, nbwItem* item);

    // The script commands: paths looked up through the kernel ("b_canhold_s" relative to
    // the container); a path that names no item is logged and does nothing (false).
    void PackInPath(const char* path);
    void PackOutPaths(const char* itemPath, const char* targetPath);
    bool CanHoldPath(const char* path);

    // The weight of the item children (each with its contents); other children count
    // nothing.
    float GetChildrenWeight();

    // Null when `obj` is no container (or no item).
    static nbwContainer* AsContainer(nRoot* obj);
    static nbwItem* AsItem(nRoot* obj);
    // The item that `holder` holds under `name` (a movie's text): a name of one step of a
    // direct child, never a path that leads elsewhere (a prototype, another store). Null
    // for any other name.
    static nbwItem* HeldItem(nRoot* holder, const char* name);

private:
    // Adds to "usedvolume" here and `weight` to "usedweight" here and in each
    // container enclosing this one; a total stops at 0.
    void Carry(float volume, float weight);
    // The actor owning `holder` lets go of `item`, which leaves it: a hand that names the
    // item names the bare hand beside it (or "none" where there is none).
    static void LetGo(nbwContainer* holder, nbwItem* item);
    // The item a script's path names through the kernel; null (logged with `op`) when
    // it names nothing or no item.
    nbwItem* FindItem(const char* path, const char* op);
    float Used(int index) { return nbwItem::GetFloat(index); }
    void SetUsed(int index, float value);
};
