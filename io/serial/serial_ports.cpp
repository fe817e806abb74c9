// The object list of open serial ports.
#include "io/serial/serial_ports.h"

#include <cstdlib>
#include <vector>

#include "errors/errors.h"

namespace {

cxObjectList g_ports = {CX_OBJ_SERIAL, ERR_FINDSERIAL, nullptr, nullptr};

} // namespace

cxObjectList *GetSerialList(void) { return &g_ports; }

int FindSerialPort(cxObjectID id, cxSerialNode **out) {
    cxObjectHeader *h = nullptr;
    int err = FindObject(&g_ports, id, &h);
    *out = reinterpret_cast<cxSerialNode *>(h);
    return err;
}

int AddSerialNode(cxOsSerialPort *port, int32_t number, int automatic, cxSerialNode **out) {
    auto *n = static_cast<cxSerialNode *>(calloc(1, sizeof(cxSerialNode)));
    if (!n) {
        OsFreeSerialPort(port);
        return ERR_MEM;
    }
    InitObjectHeader(&n->header, CX_OBJ_SERIAL, number, automatic);
    n->port = port;
    AddObject(&g_ports, &n->header);
    if (out) *out = n;
    return 0;
}

void FreeSerialNode(lua_State *L, cxSerialNode *n) {
    RemoveObject(&g_ports, &n->header);
    OsFreeSerialPort(n->port);
    FreeObjectDataList(L, n->header.data);
    free(n);
}

extern "C" void FreeSerialPorts(lua_State *L) {
    // newest first: ports opened on one device put back their saved settings
    // in the reverse order of saving, so the device ends as it was found
    std::vector<cxSerialNode *> nodes;
    for (cxObjectHeader *h = g_ports.first; h; h = h->next) nodes.push_back(reinterpret_cast<cxSerialNode *>(h));
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) FreeSerialNode(L, *it);
}
