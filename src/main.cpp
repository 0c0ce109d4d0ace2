#include "app/Program.h"
#include "core/Revision.h"

// Set per program by the build: KOVRIN_REVISION (21 for kovrin, 20 for kovrin-2.0),
// KOVRIN_PROGRAM (the executable's name) and KOVRIN_VERSION.
int main(int argc, char* argv[]) {
    return kovrin::programMain(
        argc, argv,
        {KOVRIN_PROGRAM, KOVRIN_VERSION,
         KOVRIN_REVISION == 20 ? kovrin::Revision::V2_0 : kovrin::Revision::V2_1});
}
