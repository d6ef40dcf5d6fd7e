#include "app/services.h"

namespace velmora {

MainWindowServices ProgramServices() {
    MainWindowServices services;
    return services;
}

} // namespace velmora
