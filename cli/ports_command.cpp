// ports: the port list as the window's drop-down shows it, with what stands behind each.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "af_port_map.h"
#include "commands.h"
#include "port_details.h"

namespace vorkal::cli {

int RunPorts(const Options& options) {
    QJsonArray list;
    QString text;
    for (const QString& name : ListComPortNames()) {
        const ResolvedPort port = ResolvePort(name.mid(3).toInt());
        const PortDetails details = ReadPortDetails(port.devicePath);
        if (options.json) {
            QJsonObject o{{"name", name},
                          {"device", port.devicePath},
                          {"link", port.link},
                          {"driver", details.driver},
                          {"usb", details.usb},
                          {"pseudoTerminal", details.pseudoTerminal},
                          {"description", DescribePort(port, details, options.polish)}};
            if (details.usb) {
                o["manufacturer"] = details.manufacturer;
                o["product"] = details.product;
                o["serialNumber"] = details.serialNumber;
                o["vendorId"] = details.vendorId;
                o["productId"] = details.productId;
            }
            list.append(o);
        } else {
            text += QString("%1\t%2\n").arg(name, DescribePort(port, details, options.polish));
        }
    }
    if (options.json) text = QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented));
    std::fputs(text.toUtf8().constData(), stdout);
    return kExitOk;
}

}  // namespace vorkal::cli
