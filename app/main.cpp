#include "app/KQ_NFCProgrammerApp.h"

int main(int argc, char** argv) {
    CKQ_NFCProgrammerApp app(argc, argv);
    return app.Run();
}
