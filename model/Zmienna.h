// The meter object tree: named objects, numeric variables and containers.
//
// Lists are singly linked through Next; a node owns its Next, a container owns
// its children through the head node ChildList. Destruction walks lists
// iteratively so a long list never recurses once per node.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "model/ParamDef.h"

class TSlownik;

// Counters shared by every object of the tree; both start at zero.
extern int32_t ZmiennaSerialCounter;   // taken by every constructed TZmienna, never decreases
extern int32_t LiveContainerCount;     // TSlownik objects currently alive

class TZmienna {
public:
  // A name holds 9 characters, a description 39, whatever their letters: the
  // fields keep them in UTF-8 (up to 4 bytes a character), terminator included.
  static constexpr int NAME_CHARS = 9;
  static constexpr int DESCRIPTION_CHARS = 39;
  static constexpr int NAME_SIZE = NAME_CHARS * 4 + 1;
  static constexpr int DESCRIPTION_SIZE = DESCRIPTION_CHARS * 4 + 1;

  TZmienna();
  TZmienna(const char* name, const char* description, int kind);
  TZmienna(const TZmienna&) = delete;
  TZmienna& operator=(const TZmienna&) = delete;
  virtual ~TZmienna();

  virtual TZmienna* FirstChild();
  // Inserts node into the list that starts after this object, by ascending Id;
  // a node whose Id equals an existing one goes before it.
  virtual void InsertSorted(std::unique_ptr<TZmienna> node);
  virtual void AddChild(std::unique_ptr<TZmienna> node);
  // Unlinks node from the list after this object and destroys it.
  virtual void RemoveSibling(TZmienna* node);
  virtual TZmienna* FindById(int id);
  virtual TZmienna* FindByName(const char* text, int upward);
  virtual void SetName(const char* text);
  virtual void GetName(char* buffer, int size) const;
  virtual void SetDescription(const char* text);
  virtual void GetDescription(char* buffer, int size) const;
  virtual int GetState() const;
  virtual void SetState(int state);
  virtual float GetValue() const;
  virtual int Update(float value);
  virtual void DeleteFollowing();
  // Produces at most one event; code and text receive it.
  virtual int NextEvent(int& code, std::string& text);
  virtual int Spare();

  // Fields, in the order of the meter model.
  int32_t Kind = 0;
  int32_t Id = 0;
  char Name[NAME_SIZE] = {};
  char Description[DESCRIPTION_SIZE] = {};
  int32_t Serial = 0;
  int32_t State = 0;
  std::unique_ptr<TZmienna> Next;
  TSlownik* Parent = nullptr;
};

class TZmiennaNum : public TZmienna {
public:
  static constexpr int UNIT_SIZE = 10;  // terminator included

  TZmiennaNum();
  explicit TZmiennaNum(const TParamDef& def);

  float GetValue() const override;
  int Update(float value) override;
  int NextEvent(int& code, std::string& text) override;

  float Min = 1.0f;
  float Max = 0.0f;
  char Unit[UNIT_SIZE] = {};
  int32_t ThresholdMode = 0;  // limit supervision; always off (0) in this program
  float Value = 0.0f;
};

class TSlownik : public TZmienna {
public:
  TSlownik();
  TSlownik(const char* name, const char* description, int kind);
  ~TSlownik() override;

  TZmienna* FirstChild() override;
  void AddChild(std::unique_ptr<TZmienna> node) override;
  TZmienna* FindByName(const char* text, int upward) override;
  float GetValue() const override;
  int Update(float value) override;
  int NextEvent(int& code, std::string& text) override;

  // Meter services; the plain container answers 0 / nothing.
  virtual int GetCatalogText(int selector, std::string& text);
  virtual void ReadOrFormatValue(int selector, std::string& text, std::string* unit);
  virtual int WriteParameter(int selector, const char* text, std::string& message);

  // Every child back to NO_VALUE and State 0; LinkState 0, ErrorCount 1.
  void ResetValues();

  TZmienna ChildList;  // head of the child list; its Next is the first child
  int32_t Address = 0;
  int32_t ChildCount = 0;
  int32_t LinkState = 0;
  int32_t ErrorCount = 0;
  int32_t BlockStart = -1;
  int32_t BlockCount = 0;
  int32_t AlarmFlags = 0;
};
