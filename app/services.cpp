#include "app/services.h"

#include "save/save.h"

namespace velmora {

MainWindowServices ProgramServices() {
    MainWindowServices services;
    services.save = [](QWidget* owner, const QImage& picture, int index) {
        m_save_Click(owner, picture, index);
    };
    return services;
}

} // namespace velmora
