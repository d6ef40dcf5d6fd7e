#include "app/services.h"

#include "dialogs/velmora_s.h"
#include "dialogs/velmora_v.h"
#include "save/save.h"

namespace velmora {

MainWindowServices ProgramServices() {
    MainWindowServices services;
    // Each dialog is created for its showing and destroyed when it has closed.
    services.showImageDialog = [] {
        velmora_v dialog;
        dialog.exec();
        return dialog.Chosen_File();
    };
    services.showRatioDialog = [](std::int16_t scale) {
        velmora_s dialog(scale);
        dialog.exec();
        return dialog.Chosen_Scale();
    };
    services.save = [](QWidget* owner, const QImage& picture, int index) {
        m_save_Click(owner, picture, index);
    };
    return services;
}

} // namespace velmora
