// The driver of all five meter models.
#pragma once

#include "Zmienna.h"

class TModbusPort;

class TTR5 : public TSlownik {
public:
  // With populate set, builds the 41 numeric variables of the acquisition list.
  // port is the Modbus master all line traffic goes through; with none the
  // meter behaves as on a closed port.
  explicit TTR5(bool populate, TModbusPort* port = nullptr);

  void SetPort(TModbusPort* port) { Port = port; }
  TModbusPort* GetPort() const { return Port; }

  // DRIVER-OVERRIDES: the acquisition step (Update), NextEvent, GetCatalogText,
  // ReadOrFormatValue, WriteParameter and FormatValueWithUnit are added here by
  // the driver work, with these signatures:
  //   int Update(float value) override;
  //   int NextEvent(int& code, std::string& text) override;
  //   int GetCatalogText(int selector, std::string& text) override;
  //   void ReadOrFormatValue(int selector, std::string& text, std::string* unit) override;
  //   int WriteParameter(int selector, const char* text, std::string& message) override;
  //   float FormatValueWithUnit(int selector, std::string& text, std::string* code);

private:
  TModbusPort* Port = nullptr;
};
