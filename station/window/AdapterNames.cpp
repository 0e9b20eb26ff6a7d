#include "AdapterNames.h"

#include "PortList.h"

std::vector<QString> AdapterNames(const std::vector<std::string>& ports) {
  const std::vector<TPortInfo> listed = ListPorts();
  std::vector<QString> names;
  for (const std::string& port : ports) {
    QString name;
    for (const TPortInfo& info : listed) {
      if (info.path == port || "COM" + std::to_string(info.number) == port) {
        name = QString::fromStdString(info.description);
        break;
      }
    }
    names.push_back(name);
  }
  return names;
}
