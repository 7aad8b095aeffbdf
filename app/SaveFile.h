// Saving an export to a file the user picks, as Run on Sites and the Reply
// Table window do: a file dialog that blocks nothing, then one write.
#pragma once

#include <QString>
#include <functional>
#include <string>

class QWidget;

// Opens a save dialog over parent suggesting suggested, named accessibleName
// for screen readers; calls chosen with the path (bytes) once one is picked.
void ChooseFileToSave(QWidget* parent, const QString& suggested, const QString& accessibleName,
                      std::function<void(const std::string& path)> chosen);

// Writes text as the file's whole content; on failure a box captioned
// caption says "Can't save <what> to PATH:" and why.
void SaveWhole(QWidget* parent, const std::string& path, const std::string& text, const std::string& what,
               const std::string& caption);
