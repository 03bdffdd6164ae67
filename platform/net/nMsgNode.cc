#include "platform/net/nMsgNode.h"

nMsgNode::nMsgNode(int id, const void* bytes, size_t size)
    : clientId_(id),
      data_(static_cast<const char*>(bytes), static_cast<const char*>(bytes) + (bytes ? size : 0)) {}
