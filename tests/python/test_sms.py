"""SMS through the binding: the round trip in both modes with UCS2 text, ToMessage as a fallback,
the delivery status as its enumeration, by-reference tuples, a refused character."""
import pytest

import quandelstk
from conftest import OWN, connection, wait_for


@pytest.fixture(scope="module")
def sms(tmp_path_factory):
    # One for the whole file: releasing an SMS object closes the thread's port.
    with connection(tmp_path_factory.mktemp("sim")):
        yield quandelstk.SMS()


def test_round_trips_in_text_and_pdu_mode(sms):
    assert sms.SendSMS(OWN, "Hello, world 123!") is True
    assert sms.MR.strip().isdigit()
    assert wait_for(sms.ReadSMS)
    assert (sms.MN, sms.Msg, sms.SMSC) == (OWN, "Hello, world 123!", "+15550100123")
    assert sms.SendSMSUnicode(strMobileNumber=OWN, strMessage=quandelstk.ucs2_hex("Hi é €5"))
    assert wait_for(sms.ReadSMSText)
    assert sms.Msg == "Hi é €5"  # decoded from UCS2 through the code table into Windows-1252
    assert sms.IsLMS is False


def test_to_message_object_is_asked_for_its_text_at_each_send(sms):
    class Counter:
        n = 0

        def __str__(self):
            return f"count {self.n}"

    sms.ToNumber = OWN
    sms.ToMessage = counter = Counter()
    for n, send, read in [(1, lambda: sms.SendSMSText("", ""), sms.ReadSMSText), (2, sms.SendSMS, sms.ReadSMS)]:
        counter.n = n
        assert send()  # both arguments fall back: ToNumber, ToMessage
        assert wait_for(read)
        assert sms.Msg == f"count {n}"
    sms.ToMessage = object()  # no text of its own: type mismatch, as a COM object without a default value
    with pytest.raises(quandelstk.RuntimeError) as caught:
        sms.SendSMSText(OWN, "")
    assert caught.value.number == 13


def test_delivery_report(sms):
    assert sms.DeliveryReportOn()
    assert sms.SendSMS("+15550100777", "report me")
    reference = sms.MR.strip()
    # Reports of the messages sent before come first: fetch (and so delete) them until this one's.
    assert wait_for(lambda: sms.GetDeliveryReport() and sms.DRMsgRef == reference)
    assert sms.DRStatus is quandelstk.DeliveryStatus.Delivered
    assert sms.DRMNRecipient == "+15550100777"
    assert sms.DeliveryReportOff()


def test_is_online_returns_its_by_reference_parameters(sms):
    # The simulator lets every call ring (alerting counts as reachable) and answers after 3 s.
    assert sms.IsOnline("+15550100001", iWait_Second=2) == (True, "+15550100001", 2)


def test_a_character_without_a_code_is_refused_and_nothing_is_sent(sms):
    with pytest.raises(UnicodeEncodeError, match="SMS.SendSMS: strMsg.*U\\+4E2D"):
        sms.SendSMS(OWN, "中文")
    assert sms.ReadSMS() is False  # nothing came back
