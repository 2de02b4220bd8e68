// Zorbel.ocx: the overlay print control's in-process server. Loading it registers the
// control's factory and the type library with the module's server object.
#include "print_control/dravik_control.h"

namespace {

struct TZorbelServer {
  TZorbelServer() { ComServer().SetTypeLib(&zorbel::ZorbelTypeLib()); }
} server_setup;

zorbel::TDravikFactory dravik_factory(ComServer());

}  // namespace

KV_COM_SERVER_EXPORTS()
