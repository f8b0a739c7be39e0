#include "setup/modal_dialog.h"

#include <QDialog>

namespace {

std::optional<ModalAnswerer>& answerer()
{
    static std::optional<ModalAnswerer> current;
    return current;
}

} // namespace

int runModal(QDialog& dialog)
{
    if (answerer())
        return (*answerer())(dialog);
    return dialog.exec();
}

void setModalAnswererForTesting(std::optional<ModalAnswerer> newAnswerer) { answerer() = std::move(newAnswerer); }
