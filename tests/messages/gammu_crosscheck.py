#!/usr/bin/python3
# The other side of the cross-check against python-gammu: reads the cases the C++ test generated,
# decodes our PDUs with gammu, encodes gammu's own PDUs, and writes what gammu made of everything.
#   gammu_crosscheck.py CASES.json RESULT.json
import binascii
import datetime
import json
import sys

import gammu

VALIDITY_UNITS = {"M": 60, "H": 3600, "D": 86400, "W": 604800}


def validity_seconds(text):
    if text in ("NA", "", None):
        return 0
    if text == "Max":
        return 63 * 604800
    return int(text[:-1]) * VALIDITY_UNITS[text[-1]]


def clean_text(decoded):
    # gammu sizes its text by the user data length; for escaped characters that is more than the
    # text, and the rest of its buffer follows the end marker.
    text = decoded.get("Text")
    if isinstance(text, str) and "\x00" in text:
        text = text.split("\x00", 1)[0]
    return text


def decoded_fields(pdu_hex):
    try:
        d = gammu.DecodePDU(binascii.unhexlify(pdu_hex), SMSC=True)
    except gammu.GSMError as e:
        return {"error": e.args[0].get("Text", "error")}
    text = clean_text(d)
    udh = d["UDH"]
    out = {
        "type": d["Type"],
        "number": d["Number"],
        "smsc": d["SMSC"]["Number"],
        "coding": d["Coding"],
        "class": d["Class"],
        "udh": udh["Type"],
        "udh_ref": udh["ID16bit"] if udh["Type"] == "ConcatenatedMessages16bit" else udh["ID8bit"],
        "udh_part": udh["PartNumber"],
        "udh_all": udh["AllParts"],
        "validity": validity_seconds(d["SMSC"].get("Validity")) if d["Type"] == "Submit" else 0,
        "reference": d["MessageReference"],
        "status": d["DeliveryStatus"],
    }
    if isinstance(text, bytes):
        out["data"] = binascii.hexlify(text).decode().upper()
        out["text"] = ""
    else:
        out["text"] = text or ""
        out["data"] = ""
    stamps = {"Deliver": (("DateTime", "time"),),
              "Status_Report": (("DateTime", "time"), ("SMSCDateTime", "discharge"))}.get(d["Type"], ())
    for key, name in stamps:
        if d.get(key) is not None:
            out[name] = d[key].strftime("%Y-%m-%d %H:%M:%S")
    return out


def gammu_encode(case):
    info = {
        "Class": case["class"],
        "Unicode": case["unicode"],
        "Entries": [{"ID": "ConcatenatedTextLong16bit" if case["wide"] else "ConcatenatedTextLong",
                     "Buffer": case["text"]}],
    }
    parts = gammu.EncodeSMS(info)
    pdus = []
    for sms in parts:
        sms["Number"] = case["number"]
        sms["SMSC"] = {"Location": 0, "Number": case["smsc"], "Validity": case.get("validity", "NA")}
        if case["layout"] == "Deliver":
            sms["Type"] = "Deliver"
            sms["DateTime"] = datetime.datetime(*case["time"])
        pdus.append(binascii.hexlify(gammu.EncodePDU(sms, case["layout"])).decode().upper())
    return {"id": case["id"], "pdus": pdus, "decoded": [decoded_fields(p) for p in pdus]}


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        cases = json.load(f)
    result = {
        "decode": [{"id": c["id"], "parts": [decoded_fields(p) for p in c["pdus"]]} for c in cases["decode"]],
        "encode": [gammu_encode(c) for c in cases["encode"]],
        "plan": [{"id": c["id"], "parts": len(gammu.EncodeSMS({
            "Class": -1, "Unicode": c["unicode"],
            "Entries": [{"ID": "ConcatenatedTextLong", "Buffer": c["text"]}]}))} for c in cases["plan"]],
    }
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        json.dump(result, f, ensure_ascii=False)


if __name__ == "__main__":
    main()
