#pragma once
// The application's mark: a white video camera on the interface's blue tile,
// with two people in the camera from 48 pixels up. Drawn from shapes at each
// size so that the small sizes stay sharp: below 48 pixels every edge lands
// on a whole pixel and the details that would blur away are left out.

#include <QImage>
#include <QString>

// The mark at size x size pixels.
QImage drawAppIcon(int size);

// Writes <directory>/hicolor/<n>x<n>/apps/<appId>.png for every size the
// desktop's icon theme looks for. Returns the number of files that could not
// be written.
int writeDesktopIcons(const QString& directory, const QString& appId);
