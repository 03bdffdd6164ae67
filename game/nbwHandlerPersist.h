#pragma once
// The enabled flags of a node's module states in its persistent store, as the game's
// items and levels keep them: one int "handler_<state>_<kind>" per state (kinds
// "animation", "collision", "visualizer", "physik").
class nLogicNode;
class nPersist;
class nVariable;

// Writes one int per module state of `node`, in the node's state order.
void nbwStoreHandlers(nLogicNode* node, nPersist* store);
// Sets each state's flag from its variable when the store holds one as a number;
// another kind of variable is logged and skipped.
void nbwRestoreHandlers(nLogicNode* node, nPersist* store);
// Sets the store's variable `name` to `value`, made when missing. A variable that holds
// another type (a script set it) takes the value's type in its place, logged, so the
// store keeps its order and never stops the program.
void nbwPutVar(nPersist* store, const char* name, const nVariable& value);
// The store's variable `name` as a number of either type; false when the store lacks
// it or holds another kind there (logged).
bool nbwGetNumber(nPersist* store, const char* name, float& out);
