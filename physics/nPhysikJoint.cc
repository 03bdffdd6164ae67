#include "physics/nPhysikJoint.h"

#include "kernel/nKernelServer.h"

#define N_PURE(name) nKernelServer::FatalError("nPhysikJoint::" name ", pure function call!\n")

void nPhysikJoint::AttachBoddys(nPhysikBody*, nPhysikBody*) { N_PURE("AttachBoddys"); }
bool nPhysikJoint::AreConnected(nPhysikBody*, nPhysikBody*) { N_PURE("AreConnected"); }
void nPhysikJoint::SetAnchor(const vector3&) { N_PURE("SetAnchor"); }
void nPhysikJoint::SetAxis1(const vector3&) { N_PURE("SetAxis1"); }
void nPhysikJoint::SetAxis2(const vector3&) { N_PURE("SetAxis2"); }
void nPhysikJoint::SetAngle(float) { N_PURE("SetAngle"); }
void nPhysikJoint::SetAngleRate(float) { N_PURE("SetAngleRate"); }
void nPhysikJoint::SetParam(int, float) { N_PURE("SetParam"); }
vector3 nPhysikJoint::GetAnchor() { N_PURE("GetAnchor"); }
vector3 nPhysikJoint::GetAxis1() { N_PURE("GetAxis1"); }
vector3 nPhysikJoint::GetAxis2() { N_PURE("GetAxis2"); }
float nPhysikJoint::GetAngle() { N_PURE("GetAngle"); }
float nPhysikJoint::GetAngleRate() { N_PURE("GetAngleRate"); }
float nPhysikJoint::GetParam(int) { N_PURE("GetParam"); }
