#include "audio/nSoundNode.h"

#include "audio/nAudioServer2.h"
#include "audio/nStream.h"
#include "gfx/nGfxServer.h"
#include "kernel/nCmd.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/nChannelServer.h"
#include "scene/nChannelSet.h"
#include "scene/nSceneGraph2.h"

static const nCmdDef<nSoundNode> cmds[] = {
    Bind<&nSoundNode::SetVelocityChannel>("v_setvelocitychannel_s", "SVCH"),
    Bind<&nSoundNode::GetVelocityChannel>("s_getvelocitychannel_v", "GVCH"),
    Bind<&nSoundNode::SetTriggerChannel>("v_settriggerchannel_s", "STCH"),
    Bind<&nSoundNode::GetTriggerChannel>("s_gettriggerchannel_v", "GTCH"),
    Bind<&nSoundNode::SetFile>("v_setfile_s", "SFIL"),
    Bind<&nSoundNode::GetFile>("s_getfile_v", "GFIL"),
    Bind<&nSoundNode::SetSoundCue>("v_setsoundcue_s", "SCUE"),
    Bind<&nSoundNode::GetSoundCue>("s_getsoundcue_v", "GCUE"),
    Bind<&nSoundNode::SetAmbient>("v_setambient_b", "SAMB"),
    Bind<&nSoundNode::GetAmbient>("b_getambient_v", "GAMB"),
    Bind<&nSoundNode::SetDoppler>("v_setdoppler_b", "SDOP"),
    Bind<&nSoundNode::GetDoppler>("b_getdoppler_v", "GDOP"),
    Bind<&nSoundNode::SetLooping>("v_setlooping_b", "SLOP"),
    Bind<&nSoundNode::GetLooping>("b_getlooping_v", "GLOP"),
    Bind<&nSoundNode::SetPriority>("v_setpriority_f", "SPRI"),
    Bind<&nSoundNode::GetPriority>("f_getpriority_v", "GPRI"),
    Bind<&nSoundNode::SetVolume>("v_setvolume_f", "SVOL"),
    Bind<&nSoundNode::GetVolume>("f_getvolume_v", "GVOL"),
    Bind<&nSoundNode::SetFrequency>("v_setfrequency_f", "SFRQ"),
    Bind<&nSoundNode::GetFrequency>("f_getfrequency_v", "GFRQ"),
    Bind<&nSoundNode::SetMinMaxDist>("v_setminmaxdist_ff", "SMMD"),
    {"ff_getminmaxdist_v", "GMMD",
     [](nSoundNode* self, nCmd* c) {
         float lo, hi;
         self->GetMinMaxDist(lo, hi);
         c->Out()->SetF(lo);
         c->Out()->SetF(hi);
     }},
    Bind<&nSoundNode::Start>("v_start_v", "STRT"),
    Bind<&nSoundNode::Stop>("v_stop_v", "STOP"),
};
const nClassInfo nSoundNode::classInfo = nClassInfo::Make<nSoundNode>("nsoundnode", "nvisnode", cmds);

namespace {

constexpr float TriggerOn = 0.99f;
constexpr float TriggerOff = -0.99f;

}  // namespace

nSoundNode::nSoundNode()
    : refAudio("/sys/servers/audio"), velocityChannel("velocity"), triggerChannel("soundtrigger") {}

nSoundNode::~nSoundNode() {
    if (nStream* s = refStream.GetUnsafe()) {
        refStream.Set(nullptr);
        s->Release();
    }
}

bool nSoundNode::SaveCmds(nPersistServer* ps) {
    if (!nVisNode::SaveCmds(ps)) return false;
    bool ok = ps->Put(this, nId("SVCH"), GetVelocityChannel()) && ps->Put(this, nId("STCH"), GetTriggerChannel()) &&
              ps->Put(this, nId("SFIL"), GetFile()) && ps->Put(this, nId("SCUE"), GetSoundCue()) &&
              ps->Put(this, nId("SAMB"), GetAmbient()) && ps->Put(this, nId("SDOP"), GetDoppler()) &&
              ps->Put(this, nId("SLOP"), GetLooping()) && ps->Put(this, nId("SPRI"), GetPriority()) &&
              ps->Put(this, nId("SVOL"), GetVolume()) && ps->Put(this, nId("SFRQ"), GetFrequency()) &&
              ps->Put(this, nId("SMMD"), desc.minDist, desc.maxDist);
    if (ok && startRequested) ok = ps->Put(this, nId("STRT"));
    return ok;
}

void nSoundNode::SetVelocityChannel(const char* name) {
    velocityChannel = name ? name : "";
    NotifyParents();
}

void nSoundNode::SetTriggerChannel(const char* name) {
    triggerChannel = name ? name : "";
    NotifyParents();
}

void nSoundNode::SetFile(const char* name) {
    if (!nFileServer2::MayKeepPath(name)) return;
    fileName = name ? name : "";
    streamFailed = false;
    // Stopped here, while the stream still exists: the voice would otherwise go on with
    // the old stream under the same sound id.
    if (refStream.GetUnsafe()) releaseSound(refAudio.Resolve());
}

void nSoundNode::SetMinMaxDist(float minDist, float maxDist) {
    desc.minDist = minDist;
    desc.maxDist = maxDist;
}

void nSoundNode::GetMinMaxDist(float& minDist, float& maxDist) const {
    minDist = desc.minDist;
    maxDist = desc.maxDist;
}

void nSoundNode::releaseSound(nAudioServer2* audio) {
    nStream* s = refStream.GetUnsafe();
    if (audio && s) {
        desc.stream = s;
        audio->StopSound(desc);
    }
    ownId = 0;
    desc.stream = nullptr;
    if (s) {
        refStream.Set(nullptr);
        s->Release();
    }
}

void nSoundNode::CollectChannels(nChannelSet* set) {
    nChannelServer* channels = refChannel.Get();
    velocityIndex = set->AddChannel(channels, velocityChannel.Get());
    triggerIndex = set->AddChannel(channels, triggerChannel.Get());
    nVisNode::CollectChannels(set);
}

bool nSoundNode::Attach(nSceneGraph2* sceneGraph) {
    if (!nVisNode::Attach(sceneGraph)) return false;
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (!rec) return false;
    const float trigger = nChannelContext::Read(rec->channelContext, triggerIndex).f[0];
    if (trigger >= TriggerOff) {
        rec->soundNode = this;
    } else if (refStream.GetUnsafe()) {
        releaseSound(refAudio.Resolve());
    }
    return true;
}

void nSoundNode::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (!rec) return;
    nAudioServer2* audio = refAudio.Get();
    const float trigger = nChannelContext::Read(rec->channelContext, triggerIndex).f[0];

    if (ownId == 0) ownId = audio->NewSoundId();
    nStream* stream = refStream.GetUnsafe();
    if (!stream) {
        if (streamFailed) return;
        stream = audio->NewStream(fileName.Get(), looping);
        if (!stream) {
            streamFailed = true;
            n_error("nSoundNode::Compute(): %s: no sound from '%s' (missing, or not a 16-bit WAV file); the node stays silent\n",
                    GetFullName().c_str(), fileName.Get());
            return;
        }
        refStream.Set(stream);
    }
    desc.stream = stream;
    desc.soundId = int32_t(rec->renderContext << 16) | ownId;

    if (!desc.ambient) {
        const vector3 local(rec->matrix.m[3][0], rec->matrix.m[3][1], rec->matrix.m[3][2]);
        desc.position = refGfx->GetMatrix(nGfxServer::VIEWER) * local;
        const float distance = local.Len();
        if (distance > desc.maxDist) return;
        if (doppler) {
            const nChannelSlot& v = nChannelContext::Read(rec->channelContext, velocityIndex);
            desc.velocity.set(v.f[0], v.f[1], v.f[2]);
        } else {
            desc.velocity.set(0.0f, 0.0f, 0.0f);
        }
        desc.priority = distance >= 1.0f ? priority / distance : priority;
    } else {
        desc.priority = priority;
    }

    // A stop sends nothing else: a start or update in the same frame would leave a
    // request behind that gives the sound a voice again right after it stopped.
    if (trigger < TriggerOff || stopRequested) audio->StopSound(desc);
    else if (trigger > TriggerOn || startRequested) audio->StartSound(desc);
    else audio->UpdateSound(desc);
    startRequested = false;
    stopRequested = false;
}
