#pragma once

#include <QIcon>

// Senvo-Net's icon, painted at the usual sizes; needs no image plugin.
QIcon applicationIcon();
