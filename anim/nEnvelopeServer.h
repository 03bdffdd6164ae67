#pragma once
// The envelope server (script class "nenvelopeserver", "/sys/servers/envelope"): keeps
// every envelope under "/sys/share/envelopes", named after its key file, so that all
// users of one key file share one envelope.
#include <string>

#include "kernel/nRef.h"
#include "kernel/nRoot.h"

class nEnvelope;

class nEnvelopeServer : public nRoot {
public:
    static const nClassInfo classInfo;

    // Makes "/sys/share/envelopes" (an existing object there is reused).
    nEnvelopeServer();
    // Releases the share root and with it every envelope still shared.
    ~nEnvelopeServer() override;

    // The shared envelope of `keyFile` with one more reference, or null. A missing share
    // root stops the program ("Aborting."); an object of another class under the name
    // is logged and not handed out.
    nEnvelope* FindEnvelope(const char* keyFile);
    // A new envelope named after `keyFile` under the share root (the existing one when
    // the name is taken), holding the creator's one reference. Null (logged) for a name
    // that makes no object name or is taken by an object of another class.
    nEnvelope* NewEnvelope(const char* keyFile);

    // The last 511 characters of `keyFile`, with '.', '/', '\' and ':' made '_':
    // "data:anims/door.nea" gives "data_anims_door_nea".
    static std::string MakeEnvelopeName(const char* keyFile);

private:
    nRoot* ShareRoot();

    nRef<nRoot> shareRoot_;
};
