#pragma once

#include <functional>
#include <optional>

class QDialog;

// Every modal dialog of the program runs through here. Tests cannot click
// through a real modal loop, so they may answer each dialog instead: the
// answerer gets the dialog, set up as the user would see it, and returns its
// result code.
int runModal(QDialog& dialog);

using ModalAnswerer = std::function<int(QDialog& dialog)>;
void setModalAnswererForTesting(std::optional<ModalAnswerer> answerer);
