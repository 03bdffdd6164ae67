#pragma once
#include <cstddef>
#include <vector>

// One received message: the sender's client id and an owned copy of
// exactly the bytes that arrived.
class nMsgNode {
public:
    nMsgNode(int clientId, const void* data, size_t size);

    int GetClientId() const { return clientId_; }
    const char* GetData() const { return data_.data(); }
    size_t GetSize() const { return data_.size(); }

private:
    int clientId_;
    std::vector<char> data_;
};
