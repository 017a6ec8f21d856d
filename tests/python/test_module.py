"""The module without a modem: names as the type library has them, stubs, docstrings, enumerations,
errors, text conversion, ToMessage as a Variant, the port table."""
import ast
import enum
import pathlib
import re

import pytest

import quandelstk

ROOT = pathlib.Path(__file__).resolve().parents[2]
CLASSES = ["Modem", "SMS", "SIMToolKit", "USSD", "Phonebook"]


def idl_members():
    """{class: {member: is_property}} from the COM type library's IDL."""
    idl = (ROOT / "src" / "automation" / "QuandelSTK6.idl").read_text()
    members = {}
    for cls, body in re.findall(r"interface\s+_(\w+)\s*:\s*IDispatch\s*\{(.*?)\};", idl, re.S):
        found = {}
        for attributes, name in re.findall(r'\[((?:[^\]"]|"(?:[^"\\]|\\.)*")*)\]\s*HRESULT\s+(\w+)\s*\(', body):
            found[name] = "propget" in attributes or "propput" in attributes
        members[cls] = found
    return members


def public(cls):
    return {name for name in dir(cls) if not name.startswith("_")}


def test_every_member_of_the_type_library_has_its_host_visible_name():
    members = idl_members()
    assert sorted(members) == sorted(CLASSES)
    for cls, found in members.items():
        python_class = getattr(quandelstk, cls)
        assert public(python_class) == set(found), cls
        for name, is_property in found.items():
            assert isinstance(getattr(python_class, name), property) == is_property, f"{cls}.{name}"


def test_the_stub_names_every_member_with_the_module():
    stub = ast.parse((ROOT / "python" / "quandelstk.pyi").read_text())
    top = set()
    for node in stub.body:
        if isinstance(node, ast.ClassDef):
            top.add(node.name)
            names = set()
            for item in node.body:
                if isinstance(item, ast.FunctionDef):
                    names.add(item.name)
                elif isinstance(item, ast.AnnAssign):
                    names.add(item.target.id)
                elif isinstance(item, ast.Assign):
                    names.update(t.id for t in item.targets)
            module_class = getattr(quandelstk, node.name)
            if issubclass(module_class, enum.Enum):
                assert names == set(module_class.__members__), node.name
            elif node.name != "RuntimeError":
                assert {n for n in names if not n.startswith("_")} == public(module_class), node.name
        elif isinstance(node, ast.FunctionDef):
            top.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            top.add(node.target.id)
    assert top == {n for n in dir(quandelstk) if not n.startswith("_")} | {"__version__"}


def test_every_member_has_a_docstring_and_the_type_library_text_comes_first():
    assert "per-thread" in quandelstk.__doc__ or "own session" in quandelstk.__doc__
    for cls in CLASSES:
        python_class = getattr(quandelstk, cls)
        assert python_class.__doc__
        for name in public(python_class):
            assert (getattr(python_class, name).__doc__ or "").strip(), f"{cls}.{name}"
    assert quandelstk.SIMToolKit.STKStatusGet.__doc__.split("\n\n", 1)[1].startswith("To get the status of STK.")
    assert quandelstk.Phonebook.PhonebookName.__doc__.startswith("The name stored in phonebook.")
    assert "returns (port, iStart, iEnd)" in quandelstk.Modem.FindCOMPort.__doc__


def test_enumerations_are_int_enums_with_the_type_library_values():
    assert issubclass(quandelstk.InitStatus, enum.IntEnum)
    assert quandelstk.InitStatus.OK == 1 and quandelstk.InitStatus.SIMError == 5
    assert quandelstk.DeliveryStatus.Delivered == 1
    assert quandelstk.STKStatus.STKSessionEnd == 99
    assert quandelstk.STKStatus(6) is quandelstk.STKStatus.STKSubMenu
    assert quandelstk.InitStatus.__module__ == "quandelstk"


def test_runtime_error_is_a_python_runtime_error_with_number_and_description():
    assert issubclass(quandelstk.RuntimeError, RuntimeError)
    sms = quandelstk.SMS()
    with pytest.raises(quandelstk.RuntimeError) as caught:
        sms.DRStatus  # nothing stored yet
    assert caught.value.number == 13
    assert "Type mismatch" in caught.value.description
    assert str(caught.value).endswith("(error 13)")
    with pytest.raises(RuntimeError):
        sms.DRStatus


def test_text_travels_as_windows_1252_both_ways():
    sms = quandelstk.SMS()
    every = "".join(chr(c) for c in range(1, 128)) + "café €5 „quotes“ ‰ Ÿ ž \x81\x8d\x8f\x90\x9d ÿ"
    sms.Msg = every
    assert sms.Msg == every


def test_a_character_without_a_windows_1252_code_is_refused_clearly():
    sms = quandelstk.SMS()
    with pytest.raises(UnicodeEncodeError) as caught:
        sms.SendSMSText("+15550100999", "Ωmega")  # refused before anything is sent
    error = caught.value
    assert (error.encoding, error.start, error.end) == ("windows-1252", 0, 1)
    text = str(error)
    for part in ("SMS.SendSMSText: strMessage", "U+03A9", "GREEK CAPITAL LETTER OMEGA", "SendSMSUnicode"):
        assert part in text
    with pytest.raises(UnicodeEncodeError, match="Phonebook.PhonebookName.*U\\+1F600"):
        quandelstk.Phonebook().PhonebookName = "smile 😀"
    assert quandelstk.ucs2_hex("Ωmega") == "03A9006D006500670061"


def test_16_bit_parameters_refuse_what_a_short_cannot_hold():
    sms = quandelstk.SMS()
    sms.LMS_Total = -32768
    assert sms.LMS_Total == -32768
    with pytest.raises(OverflowError, match="SMS.LMS_Total: 40000"):
        sms.LMS_Total = 40000
    with pytest.raises(OverflowError, match="Modem.Init: intPort"):
        quandelstk.Modem().Init(1 << 70)
    with pytest.raises(TypeError):
        quandelstk.Modem().Init(1.5)


def test_to_message_takes_any_value_as_a_variant():
    sms = quandelstk.SMS()
    assert sms.ToMessage is None
    sms.ToMessage = "text"
    assert sms.ToMessage == "text"
    sms.ToMessage = 7
    assert sms.ToMessage == 7 and isinstance(sms.ToMessage, int)
    sms.ToMessage = 7.5
    assert sms.ToMessage == 7.5

    class Note:
        def __str__(self):
            return "a note"

    note = Note()
    sms.ToMessage = note
    assert sms.ToMessage is note  # kept by reference
    sms.ToMessage = None
    assert sms.ToMessage is None


def test_optional_parameters_are_keywords_with_the_type_library_defaults():
    # No port is open: each call fails at once, but accepts its keyword arguments.
    assert quandelstk.USSD().USSDListen(iTimeOutSeconds=-1) is False
    assert quandelstk.Modem().Init(intPort=1999, PIN="1234") == quandelstk.InitStatus.Fail
    doc = quandelstk.USSD.USSDListen.__doc__
    assert "iTimeOutSeconds: int = 3" in doc
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
