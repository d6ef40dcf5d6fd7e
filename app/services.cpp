#include "app/services.h"

#include "app/savecommand.h"
#include "dialogs/velmora_s.h"
#include "dialogs/velmora_v.h"

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
    services.save = [](QWidget* owner, const Recipe& recipe, SaveKind kind) {
        m_save_Click(owner, recipe, kind);
    };
    return services;
}

} // namespace velmora
