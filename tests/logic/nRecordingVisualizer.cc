#include "tests/logic/nRecordingVisualizer.h"

#include "kernel/nKernelServer.h"
#include "logic/nVariableContext.h"
#include "scene/nVariableServer.h"

const nClassInfo nRecordingVisualizer::classInfo =
    nClassInfo::Make<nRecordingVisualizer>("nrecordingvisualizer", "nmodtransformer");

void nRecordingVisualizer::Visualize(const matrix44&, nSceneGraph2*, nVariableContext* vars) {
    auto* vs = static_cast<nVariableServer*>(nKernelServer::ks->Lookup("/sys/servers/variable"));
    floats.clear();
    texts.clear();
    order.clear();
    for (int i = 0; vars && i < vars->Size(); i++) {
        const nVariable& v = vars->Get(i);
        const char* name = vs->GetVariableName(int(v.GetHandle()));
        order.push_back(name ? name : "?");
        if (v.GetType() == nVariable::Float) floats[order.back()] = v.GetF();
        if (v.GetType() == nVariable::String) texts[order.back()] = v.GetS();
    }
    shown++;
}
