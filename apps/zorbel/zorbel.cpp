// Zorbel.ocx: the overlay print control's in-process server. Loading it registers the
// control's factory and the type library with the module's server object.
#include "framework/graphics/printers.h"
#include "print_control/dravik_control.h"

namespace {

struct TZorbelServer {
  TZorbelServer() { ComServer().SetTypeLib(&zorbel::ZorbelTypeLib()); }
  // The module's printer object (its own framework copy's) goes when the module does.
  ~TZorbelServer() { SetPrinter(nullptr); }
} server_setup;

zorbel::TDravikFactory dravik_factory(ComServer());

}  // namespace

KV_COM_SERVER_EXPORTS()
