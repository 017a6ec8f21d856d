"""The module without a modem: names as the type library has them, the stub, docstrings,
enumerations, errors, text conversion, 16-bit parameters, ToMessage as a Variant, the port table."""
import ast
import enum
import pathlib
import re

import pytest

import quandelstk

ROOT = pathlib.Path(__file__).resolve().parents[2]
CLASSES = ["Modem", "SMS", "SIMToolKit", "USSD", "Phonebook"]


def public(cls):
    return {name for name in dir(cls) if not name.startswith("_")}


def test_every_member_of_the_type_library_has_its_host_visible_name_and_kind():
    idl = (ROOT / "src" / "automation" / "QuandelSTK6.idl").read_text()
    interfaces = re.findall(r"interface\s+_(\w+)\s*:\s*IDispatch\s*\{(.*?)\};", idl, re.S)
    assert sorted(cls for cls, _ in interfaces) == sorted(CLASSES)
    for cls, body in interfaces:
        members = {}
        for attributes, name in re.findall(r'\[((?:[^\]"]|"(?:[^"\\]|\\.)*")*)\]\s*HRESULT\s+(\w+)\s*\(', body):
            members[name] = "propget" in attributes or "propput" in attributes
        python_class = getattr(quandelstk, cls)
        assert public(python_class) == set(members), cls
        for name, is_property in members.items():
            assert isinstance(getattr(python_class, name), property) == is_property, f"{cls}.{name}"
            assert (getattr(python_class, name).__doc__ or "").strip(), f"{cls}.{name} has no docstring"


def test_the_stub_names_every_member_of_the_module():
    top = set()
    for node in ast.parse((ROOT / "python" / "quandelstk.pyi").read_text()).body:
        if isinstance(node, ast.AnnAssign):
            top.add(node.target.id)
        elif isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            top.add(node.name)
        if not isinstance(node, ast.ClassDef) or node.name == "RuntimeError":
            continue
        names = {item.name for item in node.body if isinstance(item, ast.FunctionDef)}
        names |= {item.target.id for item in node.body if isinstance(item, ast.AnnAssign)}
        names |= {t.id for item in node.body if isinstance(item, ast.Assign) for t in item.targets}
        module_class = getattr(quandelstk, node.name)
        expected = set(module_class.__members__) if issubclass(module_class, enum.Enum) else public(module_class)
        assert {n for n in names if not n.startswith("_")} == expected, node.name
    assert top == public(quandelstk) | {"__version__"}


def test_docstrings_begin_with_the_type_library_text():
    assert quandelstk.SIMToolKit.STKStatusGet.__doc__.split("\n\n", 1)[1].startswith("To get the status of STK.")
    assert quandelstk.Phonebook.PhonebookName.__doc__.startswith("The name stored in phonebook.")
    assert "returns (port, iStart, iEnd)" in quandelstk.Modem.FindCOMPort.__doc__


def test_enumerations_are_int_enums_with_the_type_library_values():
    assert issubclass(quandelstk.InitStatus, enum.IntEnum) and quandelstk.InitStatus.__module__ == "quandelstk"
    assert (quandelstk.InitStatus.OK, quandelstk.InitStatus.SIMError) == (1, 5)
    assert quandelstk.DeliveryStatus.Delivered == 1
    assert quandelstk.STKStatus(99) is quandelstk.STKStatus.STKSessionEnd


def test_runtime_error_is_a_python_runtime_error_with_number_and_description():
    with pytest.raises(RuntimeError) as caught:
        quandelstk.SMS().DRStatus  # nothing stored yet
    assert isinstance(caught.value, quandelstk.RuntimeError)
    assert caught.value.number == 13 and "Type mismatch" in caught.value.description
    assert str(caught.value).endswith("(error 13)")


def test_text_travels_as_windows_1252_both_ways():
    sms = quandelstk.SMS()
    sms.Msg = every = "".join(map(chr, range(1, 128))) + "café €5 „quotes“ ‰ Ÿ ž \x81\x8d\x8f\x90\x9d ÿ"
    assert sms.Msg == every
    assert quandelstk.ucs2_hex("Ωmega") == "03A9006D006500670061"


@pytest.mark.parametrize("call, at, expected", [
    (lambda: quandelstk.SMS().SendSMSText("+15550100999", "Ωmega"), 0,
     r"SMS.SendSMSText: strMessage.*U\+03A9.*GREEK CAPITAL LETTER OMEGA.*SendSMSUnicode"),
    (lambda: setattr(quandelstk.Phonebook(), "PhonebookName", "smile 😀"), 6, r"Phonebook.PhonebookName.*U\+1F600"),
])
def test_a_character_without_a_windows_1252_code_is_refused_clearly(call, at, expected):
    with pytest.raises(UnicodeEncodeError, match=expected) as caught:
        call()
    assert (caught.value.encoding, caught.value.start, caught.value.end) == ("windows-1252", at, at + 1)


def test_16_bit_parameters_take_a_short_and_refuse_what_it_cannot_hold():
    sms = quandelstk.SMS()
    sms.LMS_Total = -32768
    assert sms.LMS_Total == -32768
    for call, error, expected in [
        (lambda: setattr(sms, "LMS_Total", 40000), OverflowError, "SMS.LMS_Total: 40000"),
        (lambda: quandelstk.Modem().Init(1 << 70), OverflowError, "Modem.Init: intPort"),
        (lambda: quandelstk.Modem().Init(1.5), TypeError, ""),
    ]:
        with pytest.raises(error, match=expected):
            call()


def test_to_message_takes_any_value_as_a_variant_and_keeps_objects_by_reference():
    sms = quandelstk.SMS()
    assert sms.ToMessage is None
    note = object()
    for value in ("text", 7, 7.5, note, None):
        sms.ToMessage = value
        assert sms.ToMessage is value or (sms.ToMessage == value and type(sms.ToMessage) is type(value))


def test_optional_parameters_are_keywords_with_the_type_library_defaults():
    # No port is open: each call fails at once, but accepts its keyword arguments.
    assert quandelstk.USSD().USSDListen(iTimeOutSeconds=-1) is False
    assert quandelstk.Modem().Init(intPort=1999, PIN="1234") is quandelstk.InitStatus.Fail
    assert "iTimeOutSeconds: int = 3" in quandelstk.USSD.USSDListen.__doc__
    assert "iWait_Second: int = 10" in quandelstk.SMS.IsOnline.__doc__
    assert "strHP: str = ''" in quandelstk.SMS.SendSMS.__doc__


def test_the_port_table_and_device_paths():
    quandelstk.reset_port_table()
    assert quandelstk.port_device(33) == "/dev/ttyUSB0"
    quandelstk.assign_port(200, "/dev/pts/77")
    assert quandelstk.port_device(200) == "/dev/pts/77"
    port = quandelstk.port_for_device("/dev/pts/78")
    assert port >= 1000 and quandelstk.port_device(port) == "/dev/pts/78"
    assert quandelstk.port_for_device("/dev/pts/78") == port
    quandelstk.reset_port_table()
    assert quandelstk.port_device(200) == ""
