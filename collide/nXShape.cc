#include "collide/nXShape.h"

#include <utility>

#include "collide/nCollideReportBuffer.h"
#include "kernel/nKernelServer.h"

const nClassInfo nXShape::classInfo = nClassInfo::Make<nXShape>("nxshape", "ncollideshape2");

nXShape::nXShape() {
    if (nKernelServer::ks) server_.Set(nKernelServer::ks->Lookup("/sys/servers/collide2"));
}

void nXShape::SwapReportSides(nCollideReportBuffer* buffer, int from) {
    for (int i = from; i < buffer->numReports; i++) {
        nCollideReport& r = buffer->reports[i];
        std::swap(r.point1, r.point2);
        std::swap(r.normal1, r.normal2);
    }
}
