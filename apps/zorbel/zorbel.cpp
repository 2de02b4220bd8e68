// Zorbel.ocx: the overlay print control's in-process server. Loading it registers the
// control's factory (a framework button served as an ActiveX control) and the type
// library with the module's server object.
#include "framework/graphics/printers.h"
#include "print_control/dravik_control.h"

namespace {

struct TZorbelServer {
  TZorbelServer() { ComServer().SetTypeLib(&zorbel::ZorbelTypeLib()); }
  // The module's printer object (its own framework copy's) goes when the module does.
  ~TZorbelServer() { SetPrinter(nullptr); }
} server_setup;

// Tool-box bitmap resource 1, miscellaneous status 0.
TActiveXControlFactory<zorbel::TDravikControl, TButton> dravik_factory(ComServer(), zorbel::CLSID_Dravik, "Dravik",
                                                                       "Dravik Control", 1, 0);

}  // namespace

KV_COM_SERVER_EXPORTS()
