// The form loader on small descriptions: construction order, the loading
// state, late references and handlers, every kind of property value, the
// errors for names it does not know, and docking.
#include <QApplication>
#include <QTemporaryFile>
#include <QTest>

#include <functional>
#include <string>
#include <vector>

#include "app/formcontrols.h"
#include "app/formloader.h"
#include "app_support.h"
#include "netware/nwnds.h"

using Json = nlohmann::ordered_json;
using namespace NWForms;

namespace {

std::vector<std::string> journal;

class TProbeFlags : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool Bit READ Bit WRITE SetBit)

 public:
  using QObject::QObject;
  bool Bit() const { return bit_; }
  void SetBit(bool bit) { bit_ = bit; }

 private:
  bool bit_ = false;
};

// A visual component that notes what happens to it, with a " (loading)"
// mark while it is loading.
class TProbe : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Count READ Count WRITE SetCount)
  Q_PROPERTY(quint8 Small READ Small WRITE SetSmall)
  Q_PROPERTY(QString Label READ Label WRITE SetLabel)
  Q_PROPERTY(NWForms::TAlignment Justify READ Justify WRITE SetJustify)
  Q_PROPERTY(NWForms::TEdgeBorders Edges READ Edges WRITE SetEdges)
  Q_PROPERTY(QStringList Lines READ Lines WRITE SetLines)
  Q_PROPERTY(TProbe *Partner READ Partner WRITE SetPartner)
  Q_PROPERTY(TNotifyEvent OnPing READ OnPing WRITE SetOnPing)
  Q_PROPERTY(TProbeFlags *Flags READ Flags)
  Q_PROPERTY(TProbeFlags *NoFlags READ NoFlags)
  Q_PROPERTY(int Fixed READ Count)

 public:
  explicit TProbe(QWidget *parent) : QWidget(parent), flags_(new TProbeFlags(this)) { journal.push_back("new TProbe"); }
  void SetLoading(bool loading) { loading_ = loading; }
  bool Loading() const { return loading_; }
  void Loaded() {
    Note("loaded");
    loading_ = false;
  }

  int Count() const { return count_; }
  void SetCount(int count) {
    count_ = count;
    Note("Count");
  }
  quint8 Small() const { return small_; }
  void SetSmall(quint8 value) { small_ = value; }
  QString Label() const { return label_; }
  void SetLabel(const QString &label) { label_ = label; }
  TAlignment Justify() const { return justify_; }
  void SetJustify(TAlignment justify) { justify_ = justify; }
  TEdgeBorders Edges() const { return edges_; }
  void SetEdges(TEdgeBorders edges) { edges_ = edges; }
  QStringList Lines() const { return lines_; }
  void SetLines(const QStringList &lines) { lines_ = lines; }
  TProbe *Partner() const { return partner_; }
  void SetPartner(TProbe *partner) {
    partner_ = partner;
    Note("Partner=" + (partner != nullptr ? partner->objectName().toStdString() : std::string("none")));
  }
  TNotifyEvent OnPing() const { return onPing_; }
  void SetOnPing(const TNotifyEvent &handler) {
    onPing_ = handler;
    Note("OnPing");
  }
  TProbeFlags *Flags() const { return flags_; }
  TProbeFlags *NoFlags() const { return nullptr; }

 private:
  void Note(const std::string &what) {
    journal.push_back(objectName().toStdString() + ":" + what + (loading_ ? " (loading)" : ""));
  }

  bool loading_ = false;
  int count_ = 0;
  quint8 small_ = 0;
  QString label_;
  TAlignment justify_ = taLeftJustify;
  TEdgeBorders edges_;
  QStringList lines_;
  TProbe *partner_ = nullptr;
  TNotifyEvent onPing_;
  TProbeFlags *flags_;
};

// A non-visual component; it has no loading state of its own.
class TCounter : public QObject {
  Q_OBJECT
  Q_PROPERTY(int Start READ Start WRITE SetStart)

 public:
  explicit TCounter(QObject *owner) : QObject(owner) { journal.push_back("new TCounter"); }
  void Loaded() { journal.push_back(objectName().toStdString() + ":loaded"); }
  int Start() const { return start_; }
  void SetStart(int start) { start_ = start; }

 private:
  int start_ = 0;
};

class TProbeForm : public TCustomForm {
  Q_OBJECT

 public:
  TProbeForm() {
    DeclareField(QStringLiteral("First"), First);
    PublishHandler(QStringLiteral("Ping"), &TProbeForm::Ping);
  }
  void Loaded() override {
    journal.push_back("form:loaded");
    TCustomForm::Loaded();
  }
  void Ping(QObject *sender) { pings.push_back(sender); }

  TProbe *First = nullptr;
  std::vector<QObject *> pings;
};

const TComponentRegistry &Registry() {
  static const TComponentRegistry registry = [] {
    TComponentRegistry r;
    r.Register<TProbe>(QStringLiteral("TProbe"));
    r.Register<TCounter>(QStringLiteral("TCounter"));
    r.Register<TPanel>(QStringLiteral("TPanel"));
    r.Register<TNWBase>(QStringLiteral("TNWBase"));
    return r;
  }();
  return registry;
}

// First (holding Second), Counter and Third; First refers to Third, which
// comes later, and Third back to First.
Json ProbeDescription() {
  return Json::parse(R"({
    "class": "TProbeForm", "name": "ProbeForm",
    "properties": {"Caption": "Probe", "ClientWidth": 300, "ClientHeight": 200},
    "components": [
      {"class": "TProbe", "name": "First",
       "properties": {"Count": 1, "Partner": "Third", "OnPing": "Ping"},
       "components": [{"class": "TProbe", "name": "Second", "properties": {"Count": 2}}]},
      {"class": "TCounter", "name": "Counter", "properties": {"Start": 5}},
      {"class": "TProbe", "name": "Third", "properties": {"Partner": "First"}}]
  })");
}

class FormLoader : public ::testing::Test {
 protected:
  void SetUp() override { journal.clear(); }
};

TEST_F(FormLoader, BuildsDepthFirstAndResolvesNamesBeforeAnythingFinishesLoading) {
  TProbeForm form;
  LoadForm(form, ProbeDescription(), Registry());

  EXPECT_EQ(journal, (std::vector<std::string>{
                         "new TProbe", "First:Count (loading)",                     //
                         "new TProbe", "Second:Count (loading)",                    //
                         "new TCounter", "new TProbe",                              //
                         "First:Partner=Third (loading)", "First:OnPing (loading)",  //
                         "Third:Partner=First (loading)",                           //
                         "First:loaded (loading)", "Second:loaded (loading)", "Counter:loaded",
                         "Third:loaded (loading)", "form:loaded"}));

  QStringList names;
  for (QObject *component : form.Components()) names << component->objectName();
  EXPECT_EQ(names, (QStringList{"First", "Second", "Counter", "Third"}));
  EXPECT_FALSE(form.Loading());
  EXPECT_EQ(form.objectName(), "ProbeForm");
  EXPECT_EQ(form.windowTitle(), "Probe");
  EXPECT_EQ(form.size(), QSize(300, 200));

  // The field is bound, the tree of parents follows the nesting, the
  // non-visual component belongs to the form.
  ASSERT_NE(form.First, nullptr);
  auto *second = qobject_cast<TProbe *>(form.FindComponent("Second"));
  auto *third = qobject_cast<TProbe *>(form.FindComponent("Third"));
  ASSERT_NE(second, nullptr);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(second->parentWidget(), form.First);
  EXPECT_EQ(third->parentWidget(), &form);
  EXPECT_EQ(form.FindComponent("Counter")->parent(), &form);
  EXPECT_EQ(form.FindComponent("Counter")->property("Start").toInt(), 5);
  EXPECT_EQ(form.First->Partner(), third);
  EXPECT_EQ(third->Partner(), form.First);
  EXPECT_FALSE(form.First->Loading());

  // The handler assigned by name reaches the form's method.
  ASSERT_TRUE(form.First->OnPing());
  form.First->OnPing()(form.First);
  EXPECT_EQ(form.pings, (std::vector<QObject *>{form.First}));
}

TEST_F(FormLoader, SetsEnumeratorsSetsListsSubPropertiesAndControlProperties) {
  Json description = ProbeDescription();
  Json &properties = description["components"][0]["properties"];
  properties["Left"] = 7;
  properties["Top"] = 9;
  properties["Width"] = 60;
  properties["Height"] = 40;
  properties["Hint"] = "Tip";
  properties["Enabled"] = false;
  properties["Visible"] = false;
  properties["Small"] = 255;
  properties["Label"] = "Hello";
  properties["Justify"] = "taCenter";
  properties["Edges"] = Json::array({"ebLeft", "ebBottom"});
  properties["Lines"] = Json::array({"one", "two"});
  properties["Flags.Bit"] = true;
  TProbeForm form;
  LoadForm(form, description, Registry());

  TProbe &first = *form.First;
  EXPECT_EQ(first.geometry(), QRect(7, 9, 60, 40));
  EXPECT_EQ(first.toolTip(), "Tip");
  EXPECT_FALSE(first.isEnabled());
  EXPECT_TRUE(first.isHidden());
  EXPECT_EQ(first.Small(), 255);
  EXPECT_EQ(first.Label(), "Hello");
  EXPECT_EQ(first.Justify(), taCenter);
  EXPECT_EQ(first.Edges(), TEdgeBorders(ebLeft | ebBottom));
  EXPECT_EQ(first.Lines(), (QStringList{"one", "two"}));
  EXPECT_TRUE(first.Flags()->Bit());

  // An empty set, a null reference and an empty handler name clear the property.
  properties["Edges"] = Json::array();
  properties["Partner"] = nullptr;
  properties["OnPing"] = "";
  TProbeForm cleared;
  LoadForm(cleared, description, Registry());
  EXPECT_EQ(cleared.First->Edges(), TEdgeBorders());
  EXPECT_EQ(cleared.First->Partner(), nullptr);
  EXPECT_FALSE(cleared.First->OnPing());
}

// Every fault is reported with the name that caused it.
TEST_F(FormLoader, RefusesNamesAndValuesItDoesNotKnow) {
  struct Case {
    const char *culprit;
    std::function<void(Json &)> spoil;
  };
  const auto first = [](Json &d) -> Json & { return d["components"][0]["properties"]; };
  const std::vector<Case> cases = {
      {"TNope", [](Json &d) { d["components"][1]["class"] = "TNope"; }},
      {"TForm9", [](Json &d) { d["class"] = "TForm9"; }},
      {"Bogus", [&](Json &d) { first(d)["Bogus"] = 1; }},
      {"taSideways", [&](Json &d) { first(d)["Justify"] = "taSideways"; }},
      {"ebMiddle", [&](Json &d) { first(d)["Edges"] = Json::array({"ebTop", "ebMiddle"}); }},
      {"alMiddle", [&](Json &d) { first(d)["Align"] = "alMiddle"; }},
      {"Nobody", [&](Json &d) { first(d)["Partner"] = "Nobody"; }},
      {"Counter", [&](Json &d) { first(d)["Partner"] = "Counter"; }},
      {"NoSuchHandler", [&](Json &d) { first(d)["OnPing"] = "NoSuchHandler"; }},
      {"Count", [&](Json &d) { first(d)["Count"] = "three"; }},
      {"Count", [&](Json &d) { first(d)["Count"] = 4294967296LL; }},
      {"Small", [&](Json &d) { first(d)["Small"] = 256; }},
      {"Label", [&](Json &d) { first(d)["Label"] = 12; }},
      {"Lines", [&](Json &d) { first(d)["Lines"] = Json::array({"a", 1}); }},
      {"Fixed", [&](Json &d) { first(d)["Fixed"] = 1; }},
      {"Nope", [&](Json &d) { first(d)["Flags.Nope"] = true; }},
      {"Count", [&](Json &d) { first(d)["Count.Bit"] = true; }},
      {"NoFlags", [&](Json &d) { first(d)["NoFlags.Bit"] = true; }},
      {"Second", [](Json &d) { d["components"][2]["name"] = "Second"; }},
      {"Counter", [](Json &d) { d["components"][1]["components"] = Json::array(); }},
      {"colour", [](Json &d) { d["components"][1]["colour"] = 1; }},
      {"First", [](Json &d) { d["components"][0]["class"] = "TCounter"; d["components"][0].erase("components");
                              d["components"][0]["properties"] = Json::object(); }},
      {"First", [](Json &d) { d["components"][0]["name"] = "Zeroth"; d["components"][2]["properties"] = Json::object(); }},
  };
  for (const Case &c : cases) {
    Json description = ProbeDescription();
    c.spoil(description);
    TProbeForm form;
    try {
      LoadForm(form, description, Registry());
      ADD_FAILURE() << "loaded without complaint; expected a fault naming " << c.culprit << " in "
                    << description.dump();
    } catch (const TFormError &error) {
      EXPECT_NE(std::string(error.what()).find(c.culprit), std::string::npos)
          << "message \"" << error.what() << "\" does not name " << c.culprit;
    }
  }
}

TEST_F(FormLoader, RefusesFilesItCannotReadOrParse) {
  TProbeForm missing;
  EXPECT_THROW(LoadFormFile(missing, "/nonexistent/form.json", Registry()), TFormError);

  QTemporaryFile file;
  ASSERT_TRUE(file.open());
  file.write("{\"class\": \"TProbeForm\", ");
  file.close();
  TProbeForm broken;
  try {
    LoadFormFile(broken, file.fileName(), Registry());
    ADD_FAILURE() << "a truncated description loaded";
  } catch (const TFormError &error) {
    EXPECT_NE(std::string(error.what()).find(file.fileName().toStdString()), std::string::npos) << error.what();
  }
}

// Docking: tops from the top down, then bottoms, lefts, rights, and the
// client area last, all inside the panel's border; alNone keeps its place.
TEST_F(FormLoader, DocksChildrenByAlignInsideTheBorder) {
  Json description = Json::parse(R"({
    "class": "TProbeForm", "name": "DockForm",
    "properties": {"ClientWidth": 300, "ClientHeight": 200},
    "components": [
      {"class": "TPanel", "name": "Outer",
       "properties": {"Align": "alClient", "BevelOuter": "bvNone", "BorderWidth": 10},
       "components": [
         {"class": "TProbe", "name": "Client", "properties": {"Align": "alClient"}},
         {"class": "TProbe", "name": "Top1", "properties": {"Height": 30, "Align": "alTop"}},
         {"class": "TProbe", "name": "Right", "properties": {"Width": 50, "Align": "alRight"}},
         {"class": "TProbe", "name": "Bottom", "properties": {"Height": 15, "Align": "alBottom"}},
         {"class": "TProbe", "name": "Top2", "properties": {"Height": 20, "Align": "alTop"}},
         {"class": "TProbe", "name": "Left", "properties": {"Width": 40, "Align": "alLeft"}},
         {"class": "TProbe", "name": "First", "properties": {"Left": 3, "Top": 4, "Width": 5, "Height": 6}}]}]
  })");
  TProbeForm form;
  LoadForm(form, description, Registry());
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const auto geometry = [&](const char *name) {
    return qobject_cast<QWidget *>(form.FindComponent(name))->geometry();
  };
  EXPECT_EQ(geometry("Outer"), QRect(0, 0, 300, 200));
  EXPECT_EQ(geometry("Top1"), QRect(10, 10, 280, 30));
  EXPECT_EQ(geometry("Top2"), QRect(10, 40, 280, 20));
  EXPECT_EQ(geometry("Bottom"), QRect(10, 175, 280, 15));
  EXPECT_EQ(geometry("Left"), QRect(10, 60, 40, 115));
  EXPECT_EQ(geometry("Right"), QRect(240, 60, 50, 115));
  EXPECT_EQ(geometry("Client"), QRect(50, 60, 190, 115));
  EXPECT_EQ(geometry("First"), QRect(3, 4, 5, 6));

  // A bigger window gives the client area all of the extra room; a hidden
  // docked child gives up its place.
  form.resize(400, 300);
  qobject_cast<QWidget *>(form.FindComponent("Top2"))->hide();
  QApplication::processEvents();
  qobject_cast<QWidget *>(form.FindComponent("Outer"))->layout()->activate();
  EXPECT_EQ(geometry("Outer"), QRect(0, 0, 400, 300));
  EXPECT_EQ(geometry("Bottom"), QRect(10, 275, 380, 15));
  EXPECT_EQ(geometry("Right"), QRect(340, 40, 50, 235));
  EXPECT_EQ(geometry("Client"), QRect(50, 40, 290, 235));
}

// The base component's stored context name is not applied while the form
// loads (the component stands at "[Root]"), while its context flags are.
class LoaderOnOffice : public app_test::OfficeNetwork {};

TEST_F(LoaderOnOffice, TheBaseComponentIgnoresItsContextNameWhileLoading) {
  const Json description = Json::parse(R"({
    "class": "TProbeForm", "name": "BaseForm",
    "components": [
      {"class": "TProbe", "name": "First"},
      {"class": "TNWBase", "name": "Base",
       "properties": {"NDSContextName": "O=ACME", "NDSContextFlags.TypelessNames": true}}]
  })");
  TProbeForm form;
  LoadForm(form, description, Registry());
  auto *base = qobject_cast<TNWBase *>(form.FindComponent("Base"));
  ASSERT_NE(base, nullptr);
  ASSERT_TRUE(base->NDSAvailable());
  EXPECT_EQ(base->NDSContextName(), "[Root]");
  EXPECT_EQ(QString::fromStdString(CurrentContextName()), "[Root]");
  EXPECT_TRUE(base->NDSContextFlags()->TypelessNames());
  EXPECT_NE(GetContextFlags() & DCV_TYPELESS_NAMES, 0u);

  // After loading, the same write takes effect.
  base->SetNDSContextName("O=ACME");
  EXPECT_EQ(base->NDSContextName(), "O=ACME");
}

}  // namespace

#include "formloader_test.moc"
