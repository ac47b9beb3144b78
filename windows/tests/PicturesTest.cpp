// The product pictures match the products of the default rig one to one.
#include "WindowLogic.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

using namespace tindrel;

namespace {

QSet<QString> picturesOfTheDefaultRig()
{
    QFile rig(QStringLiteral(TINDREL_DEFAULT_RIG_FILE));
    if (!rig.open(QIODevice::ReadOnly))
        return {};
    QSet<QString> pictures;
    const QJsonArray devices =
        QJsonDocument::fromJson(rig.readAll()).object().value(QStringLiteral("devices")).toArray();
    for (const auto &d : devices)
        pictures.insert(pictureNameForSku(d.toObject().value(QStringLiteral("sku")).toString()));
    return pictures;
}

QSet<QString> resourceList()
{
    QFile qrc(QStringLiteral(TINDREL_PICTURES_DIR "/pictures.qrc"));
    if (!qrc.open(QIODevice::ReadOnly))
        return {};
    QSet<QString> files;
    static const QRegularExpression entry(QStringLiteral("<file>([^<]+)</file>"));
    for (auto it = entry.globalMatch(QString::fromUtf8(qrc.readAll())); it.hasNext();)
        files.insert(it.next().captured(1));
    return files;
}

}   // namespace

TEST(Pictures, EveryProductOfTheDefaultRigHasOneAndNoOtherIsKept)
{
    const QSet<QString> wanted = picturesOfTheDefaultRig();
    const QSet<QString> listed = resourceList();
    ASSERT_GT(wanted.size(), 30);
    for (const QString &name : wanted)
        EXPECT_TRUE(listed.contains(name)) << qPrintable(name) << " is missing from pictures.qrc";
    for (const QString &name : listed)
        EXPECT_TRUE(wanted.contains(name)) << qPrintable(name) << " belongs to no product of the default rig";

    const QDir folder(QStringLiteral(TINDREL_PICTURES_DIR));
    QSet<QString> present;
    for (const QString &file : folder.entryList(QDir::Files))
        if (file != QLatin1String("pictures.qrc"))
            present.insert(file);
    QStringList onDisk(present.begin(), present.end()), inList(listed.begin(), listed.end());
    onDisk.sort();
    inList.sort();
    EXPECT_EQ(onDisk.join(u' ').toStdString(), inList.join(u' ').toStdString());
}

TEST(Pictures, TheSharedFamilyPictureCoversEveryVersionAndVariant)
{
    const QString shared = QString::fromLatin1(sharedPictureCatalogueNumber);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^TDR[2-9][0-9]{3}$")).match(shared).hasMatch());
    EXPECT_TRUE(picturesOfTheDefaultRig().contains(shared));
    for (const char *sku : {"_0", "_2", "_9/B"})
        EXPECT_EQ(pictureNameForSku(shared + QLatin1String(sku)), shared);
}
