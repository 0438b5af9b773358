#include "CEMatrix.h"

cCEMatrix::~cCEMatrix() { Free(); }
bool cCEMatrix::Alloc(int) { return false; }  // TODO(stub)
void cCEMatrix::Free() {}                     // TODO(stub)
