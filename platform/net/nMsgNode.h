#ifndef N_MSGNODE_H
#define N_MSGNODE_H
//------------------------------------------------------------------------------
/**
    @class nMsgNode
    @brief One received message: the sender's client id and an owned copy of
    exactly the bytes that arrived.
*/
#include <cstddef>
#include <vector>

class nMsgNode
{
public:
    nMsgNode(int clientId, const void* data, size_t size);

    int GetClientId() const { return this->clientId; }
    const char* GetData() const { return this->data.data(); }
    size_t GetSize() const { return this->data.size(); }

private:
    int clientId;
    std::vector<char> data;
};
#endif
