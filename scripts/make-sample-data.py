#!/usr/bin/env python3
"""Writes resources/sample-data/*.csv: one household's inventory for trying
the program out, in the form `qvf import TABLE FILE.csv` reads.

The output is the same on every run (fixed seed), so the committed files only
change when this script does. Every reference between the tables points at a
record that exists, every text fits its field, and every key that must be
unique is. Run it from anywhere:

    python3 scripts/make-sample-data.py
"""
import csv
import datetime
import os
import random

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "sample-data")
rng = random.Random(1996)

# Column names and sizes (text fields only) of the eight tables, in the order
# of their records. A value longer than its field stops the script.
COLUMNS = {
    "LOCATIONS": [("LOC:LOCATION", 30)],
    "INSURANCE_COMPANY": [("INS:REFERENCE", 0), ("INS:COMPANY", 30), ("INS:TELEPHONE", 20),
                          ("INS:FAX", 20), ("INS:CONTACT", 20), ("INS:ADDRESS_1", 20),
                          ("INS:ADDRESS_2", 20), ("INS:ADDRESS_3", 20), ("INS:ADDRESS_4", 20)],
    "POLICY": [("POL:POLICY_REFERENCE", 30), ("POL:INSURER_CODE", 0), ("POL:INSURER", 30),
               ("POL:START_INSURANCE", 0), ("POL:POLICY_EXPIRES", 0), ("POL:POLICY_TYPE", 30),
               ("POL:NO_CLAIMS_BONUS", 0), ("POL:EXCESS", 0), ("POL:PREMIUM", 0),
               ("POL:EXTRA_BENEFITS", 60), ("POL:ACCIDENTAL_DAMAGE", 1),
               ("POL:SINGLE_ITEM_LIMIT", 0), ("POL:TOTAL_COVER", 0)],
    "ITEMS": [("ITE:ITEM_CODE", 0), ("ITE:POLICY_REFERENCE", 30), ("ITE:ITEM", 60),
              ("ITE:SERIAL_NUMBER", 30), ("ITE:DATE_BOUGHT", 0), ("ITE:PRICE_PAID", 0),
              ("ITE:RECEIPT_REFERENCE", 20), ("ITE:COPY_OF_RECIEPT", 1), ("ITE:SUPPLIER", 40),
              ("ITE:MANUFACTURER", 40), ("ITE:SUPPLIERS_WARRANTY", 20),
              ("ITE:MANUFACTURERS_WARRANTY", 20), ("ITE:EXTENDED_WARRANTY", 40),
              ("ITE:LOCATION", 30), ("ITE:UV_MARKED", 1), ("ITE:ETCHED", 1),
              ("ITE:PHOTOGRAPHED", 1), ("ITE:PICTURE", 41), ("ITE:DESCRIPTION_OF_PICTURE", 20)],
    "COMPANIES": [("COM:COMPANY_REFERENCE", 0), ("COM:COMPANY", 30), ("COM:ADDRESS_1", 20),
                  ("COM:ADDRESS_2", 20), ("COM:ADDRESS_3", 20), ("COM:ADDRESS_4", 20),
                  ("COM:TELEPHONE", 20), ("COM:FAX", 20), ("COM:EMAIL", 20),
                  ("COM:CONTACT_NAME", 20), ("COM:EXT", 10)],
    "SERVICE": [("SER:SERVICE_REFERENCE", 0), ("SER:COMPANY_CODE", 0), ("SER:COMPANY", 30),
                ("SER:ITEM_REFERENCE", 0), ("SER:DATE_OF_SERVICE", 0), ("SER:COST_OF_SERVICE", 0),
                ("SER:REFERENCE", 30), ("SER:DATE_RETURNED", 0), ("SER:DATE_NEXT_SERVICE", 0)],
    "WARRANTY": [("WAN:ITEM_REFERENCE", 0), ("WAN:WARRANTY_REFERENCE", 0),
                 ("WAN:DATE_OF_REPAIR", 0), ("WAN:SERVICE", 30), ("WAN:COST", 0),
                 ("WAN:SATISFACTORY", 1)],
    "CLAIM": [("CLA:CLAIM_REFERENCE", 0), ("CLA:ITEM_REFERENCE", 0), ("CLA:INSURERS_REFERENCE", 30),
              ("CLA:POLICE_CRIME_REFERENCE", 30), ("CLA:DATE_REPORTED_TO_POLICE", 0),
              ("CLA:DATE_OF_CLAIM", 0), ("CLA:CLAIM_STATUS", 20), ("CLA:NOTES", 1000)],
}

TODAY = datetime.date(2026, 11, 30)


def day(d):
    return d.isoformat() if d else ""


def money(x):
    return "%.2f" % x


def tick(p):
    return "1" if rng.random() < p else "0"


def write(table, rows):
    columns = COLUMNS[table]
    for row in rows:
        assert len(row) == len(columns), (table, row)
        for (name, size), value in zip(columns, row):
            value = str(value)
            if size:
                assert len(value.encode("cp1252")) <= size, (table, name, value)
    path = os.path.join(OUT, table + ".csv")
    with open(path, "w", newline="", encoding="utf-8") as f:
        w = csv.writer(f, lineterminator="\r\n")
        w.writerow([name for name, _ in columns])
        for row in rows:
            w.writerow([str(v) for v in row])


# --- Rooms -----------------------------------------------------------------
ROOMS = ["Living Room", "Kitchen", "Dining Room", "Hall and Stairs", "Main Bedroom",
         "Guest Bedroom", "Children's Bedroom", "Study", "Bathroom", "Utility Room",
         "Conservatory", "Garage", "Garden Shed", "Loft"]

# --- Insurers and policies -------------------------------------------------
INSURERS = [
    (1, "Harwick Mutual Insurance", "01632 960412", "01632 960499", "Mrs J. Pemberton",
     "Harwick House", "17 Castle Street", "Pellingford", "PF1 3QS"),
    (2, "Bellstone General Assurance", "0161 496 0730", "0161 496 0731", "Mr A. Okafor",
     "Unit 4, Quay Point", "Albert Dock Road", "Marlow Vale", "MV7 2LD"),
]
INSURER_NAME = {i[0]: i[1] for i in INSURERS}

# reference, insurer, start, type, bonus %, excess, premium, benefits,
# accidental damage, single item limit, total cover
POLICIES = [
    ("HMI-204518-HC", 1, datetime.date(2026, 3, 1), "HOME CONTENTS", 60, 100.00, 312.40,
     "Legal expenses cover, home emergency helpline", "1", 2500.00, 75000.00),
    ("HMI-204518-PP", 1, datetime.date(2026, 3, 1), "PERSONAL POSSESSIONS", 60, 50.00, 96.75,
     "Cover away from home anywhere in Europe", "1", 3000.00, 12000.00),
    ("HMI-204518-BL", 1, datetime.date(2026, 3, 1), "BUILDINGS", 60, 250.00, 286.10,
     "Alternative accommodation up to 12 months", "0", 0.00, 350000.00),
    ("BGA/77/310452", 2, datetime.date(2025, 9, 14), "GADGETS AND ELECTRONICS", 30, 75.00, 118.80,
     "Theft, loss and breakdown outside the maker's warranty", "1", 1500.00, 10000.00),
    ("BGA/77/310460", 2, datetime.date(2026, 1, 20), "GARDEN AND OUTBUILDINGS", 30, 100.00, 64.20,
     "Cover for tools and equipment in locked outbuildings", "0", 1000.00, 6000.00),
    ("BGA/77/310479", 2, datetime.date(2025, 6, 2), "MUSICAL INSTRUMENTS", 40, 50.00, 58.50,
     "Cover while at lessons and performances", "1", 6000.00, 9000.00),
]

# --- What is in each room --------------------------------------------------
# (description, maker kind, price range, serial?, policy kind, serviceable)
# Policy kinds: C contents, P possessions, G gadgets, O outbuildings, M music.
ROOM_ITEMS = {
    "Living Room": [
        ("LED television, 55 inch", "av", (549, 1299), True, "G", False),
        ("Sound bar with wireless subwoofer", "av", (199, 449), True, "G", False),
        ("Sofa, three seater, grey fabric", "furn", (699, 1499), False, "C", False),
        ("Armchair, wing back, green velvet", "furn", (349, 799), False, "C", False),
        ("Coffee table, solid oak", "furn", (149, 399), False, "C", False),
        ("Bookcase, five shelves, walnut finish", "furn", (119, 329), False, "C", False),
        ("Floor lamp, brass arc", "light", (79, 189), False, "C", False),
        ("Rug, hand knotted wool, 2 x 3 m", "textile", (240, 900), False, "C", False),
        ("Record player with built-in preamp", "av", (179, 499), True, "G", True),
        ("Vinyl record collection (about 300)", "misc", (900, 2400), False, "C", False),
        ("Games console with two controllers", "av", (299, 479), True, "G", False),
        ("Streaming media player", "av", (39, 129), True, "G", False),
        ("Mantel clock, walnut case", "clock", (120, 650), False, "C", True),
        ("Oil painting, coastal landscape, framed", "art", (350, 1800), False, "P", False),
        ("Table lamp, ceramic base", "light", (35, 110), False, "C", False),
        ("Cushions and throws", "textile", (60, 180), False, "C", False),
    ],
    "Kitchen": [
        ("Fridge freezer, 70/30, frost free", "white", (449, 999), True, "C", True),
        ("Dishwasher, 60 cm, 14 place settings", "white", (329, 749), True, "C", True),
        ("Range cooker, dual fuel, 100 cm", "white", (1199, 2299), True, "C", True),
        ("Microwave oven, 900 W", "small", (89, 249), True, "C", False),
        ("Stand mixer with bowl and attachments", "small", (249, 549), True, "C", False),
        ("Kettle, stainless steel", "small", (25, 79), False, "C", False),
        ("Toaster, four slice", "small", (29, 89), False, "C", False),
        ("Bean to cup coffee machine", "small", (299, 899), True, "G", True),
        ("Food processor", "small", (79, 229), True, "C", False),
        ("Knife block with six knives", "cook", (89, 329), False, "C", False),
        ("Cast iron casserole set", "cook", (120, 420), False, "C", False),
        ("Pan set, five pieces, induction", "cook", (99, 299), False, "C", False),
        ("Kitchen scales, digital", "small", (15, 45), False, "C", False),
        ("Radio, DAB, kitchen", "av", (49, 129), True, "G", False),
        ("Slow cooker, 6.5 litre", "small", (39, 99), False, "C", False),
    ],
    "Dining Room": [
        ("Dining table, extending, oak", "furn", (599, 1599), False, "C", False),
        ("Dining chairs, set of six", "furn", (480, 1200), False, "C", False),
        ("Sideboard, mid-century style", "furn", (399, 1100), False, "C", False),
        ("Dinner service, twelve place settings", "china", (180, 640), False, "C", False),
        ("Crystal wine glasses, set of twelve", "china", (90, 360), False, "C", False),
        ("Silver cutlery canteen, 84 pieces", "silver", (900, 2800), False, "P", False),
        ("Pendant light, smoked glass", "light", (99, 349), False, "C", False),
        ("Wall mirror, gilt frame", "art", (150, 480), False, "C", False),
        ("Display cabinet, glazed", "furn", (299, 799), False, "C", False),
    ],
    "Hall and Stairs": [
        ("Console table, painted pine", "furn", (89, 249), False, "C", False),
        ("Coat stand, bentwood", "furn", (45, 140), False, "C", False),
        ("Long case clock, eight day movement", "clock", (1200, 4200), False, "P", True),
        ("Stair runner carpet", "textile", (350, 900), False, "C", False),
        ("Framed family photographs", "art", (60, 240), False, "C", False),
        ("Video doorbell", "av", (89, 199), True, "G", False),
        ("Cordless vacuum cleaner", "small", (199, 499), True, "C", True),
    ],
    "Main Bedroom": [
        ("Bed, king size, upholstered headboard", "furn", (599, 1499), False, "C", False),
        ("Mattress, pocket sprung, king size", "furn", (399, 1199), False, "C", False),
        ("Wardrobe, triple, oak veneer", "furn", (499, 1299), False, "C", False),
        ("Chest of drawers, six drawers", "furn", (249, 699), False, "C", False),
        ("Bedside tables, pair", "furn", (140, 420), False, "C", False),
        ("Engagement ring, platinum, solitaire diamond", "jewel", (2200, 2900), False, "P", False),
        ("Wedding rings, pair, 18 carat gold", "jewel", (700, 1600), False, "P", False),
        ("Pearl necklace, cultured", "jewel", (450, 1400), False, "P", False),
        ("Wristwatch, automatic, steel bracelet", "watch", (650, 2400), True, "P", True),
        ("Jewellery box with assorted costume jewellery", "jewel", (120, 400), False, "C", False),
        ("Hair dryer and straighteners", "small", (60, 220), False, "C", False),
        ("Duvets, pillows and bed linen", "textile", (180, 520), False, "C", False),
        ("Winter coat, wool", "cloth", (180, 520), False, "P", False),
        ("Leather handbag", "cloth", (220, 950), False, "P", False),
        ("Clothing and shoes (his)", "cloth", (900, 2600), False, "C", False),
        ("Clothing and shoes (hers)", "cloth", (1200, 3400), False, "C", False),
    ],
    "Guest Bedroom": [
        ("Bed, double, iron frame", "furn", (299, 699), False, "C", False),
        ("Mattress, memory foam, double", "furn", (249, 699), False, "C", False),
        ("Wardrobe, double, white", "furn", (199, 499), False, "C", False),
        ("Sewing machine, computerised", "small", (249, 699), True, "C", True),
        ("Dressing table with stool", "furn", (189, 449), False, "C", False),
        ("Blanket box, cedar", "furn", (120, 320), False, "C", False),
    ],
    "Children's Bedroom": [
        ("Bunk beds with two mattresses", "furn", (399, 899), False, "C", False),
        ("Tablet, 10 inch, 64 GB", "comp", (279, 549), True, "G", False),
        ("Handheld games console", "av", (199, 329), True, "G", False),
        ("Desk and chair, child's", "furn", (129, 299), False, "C", False),
        ("Toys, books and games", "misc", (300, 900), False, "C", False),
        ("Bicycle, 24 inch wheels", "bike", (249, 499), True, "P", True),
        ("Keyboard, 61 keys, touch sensitive", "music", (149, 349), True, "M", False),
        ("Violin, three quarter size, with case", "music", (220, 650), True, "M", True),
    ],
    "Study": [
        ("Laptop computer, 14 inch", "comp", (799, 1899), True, "G", False),
        ("Desktop computer with 27 inch monitor", "comp", (999, 2199), True, "G", False),
        ("Laser printer, colour", "comp", (199, 499), True, "G", True),
        ("Network storage box, two disks", "comp", (249, 649), True, "G", False),
        ("Wireless router and mesh points", "comp", (149, 399), True, "G", False),
        ("Desk, height adjustable", "furn", (349, 899), False, "C", False),
        ("Office chair, mesh back", "furn", (199, 599), False, "C", False),
        ("Filing cabinet, four drawer, steel", "furn", (149, 349), False, "C", False),
        ("Camera, mirrorless, with 24-70 mm lens", "photo", (1299, 2299), True, "P", True),
        ("Camera lens, 70-200 mm", "photo", (899, 1899), True, "P", False),
        ("Binoculars, 10 x 42", "photo", (249, 899), True, "P", False),
        ("Fountain pen collection", "misc", (300, 1200), False, "P", False),
        ("Reference books and atlases", "misc", (200, 600), False, "C", False),
        ("Shredder, cross cut", "small", (69, 189), True, "C", False),
        ("Smartphone, 256 GB", "comp", (699, 1299), True, "G", False),
        ("Smartphone, 128 GB", "comp", (399, 899), True, "G", False),
        ("E-book reader", "comp", (99, 249), True, "G", False),
    ],
    "Bathroom": [
        ("Electric toothbrushes, pair", "small", (80, 240), False, "C", False),
        ("Bathroom cabinet, mirrored", "furn", (89, 249), False, "C", False),
        ("Towels and bath mats", "textile", (90, 260), False, "C", False),
        ("Electric shaver", "small", (79, 249), True, "C", False),
        ("Bathroom scales, smart", "small", (39, 119), False, "C", False),
    ],
    "Utility Room": [
        ("Washing machine, 9 kg, 1400 spin", "white", (349, 799), True, "C", True),
        ("Tumble dryer, heat pump", "white", (399, 899), True, "C", True),
        ("Chest freezer, 200 litre", "white", (229, 449), True, "C", False),
        ("Iron and ironing board", "small", (60, 190), False, "C", False),
        ("Steam cleaner", "small", (89, 229), True, "C", False),
        ("Gas boiler, combination", "heat", (1800, 3200), True, "C", True),
        ("Water softener", "heat", (450, 1100), True, "C", True),
    ],
    "Conservatory": [
        ("Rattan sofa and two chairs", "furn", (499, 1199), False, "C", False),
        ("Glass topped table", "furn", (149, 399), False, "C", False),
        ("Piano, upright, rosewood", "music", (2400, 5800), True, "M", True),
        ("Plant stands and pots", "garden", (80, 260), False, "C", False),
        ("Blinds, pleated, made to measure", "textile", (600, 1400), False, "C", False),
    ],
    "Garage": [
        ("Lawn mower, petrol, self propelled", "garden", (299, 749), True, "O", True),
        ("Bicycle, hybrid, 21 gears", "bike", (449, 1199), True, "P", True),
        ("Bicycle, road, carbon frame", "bike", (1299, 2900), True, "P", True),
        ("Electric bicycle, step through", "bike", (1499, 2800), True, "P", True),
        ("Tool chest with socket set", "tools", (199, 699), False, "O", False),
        ("Cordless drill and impact driver kit", "tools", (149, 399), True, "O", False),
        ("Mitre saw, sliding", "tools", (199, 549), True, "O", False),
        ("Pressure washer", "garden", (149, 399), True, "O", True),
        ("Roof box, 450 litre", "misc", (299, 599), False, "O", False),
        ("Car battery charger", "tools", (49, 129), False, "O", False),
        ("Camping tent, six person", "misc", (249, 699), False, "P", False),
        ("Ski equipment, two sets", "misc", (600, 1600), False, "P", False),
    ],
    "Garden Shed": [
        ("Strimmer, cordless", "garden", (119, 299), True, "O", False),
        ("Hedge trimmer, cordless", "garden", (99, 279), True, "O", False),
        ("Garden hand tools", "garden", (90, 300), False, "O", False),
        ("Wheelbarrow", "garden", (59, 149), False, "O", False),
        ("Barbecue, gas, three burner", "garden", (299, 899), True, "O", True),
        ("Garden furniture, table and six chairs", "furn", (399, 1199), False, "O", False),
        ("Leaf blower and vacuum", "garden", (69, 199), True, "O", False),
        ("Chainsaw, petrol, 40 cm bar", "garden", (249, 499), True, "O", True),
    ],
    "Loft": [
        ("Christmas decorations and lights", "misc", (150, 450), False, "C", False),
        ("Suitcases, set of three", "misc", (180, 520), False, "P", False),
        ("Old computer and spare monitors", "comp", (100, 350), True, "C", False),
        ("Photograph albums and slides", "misc", (50, 150), False, "C", False),
        ("Dehumidifier, 20 litre", "small", (179, 329), True, "C", False),
        ("Telescope, 150 mm reflector", "photo", (299, 799), True, "P", False),
        ("Model railway layout and stock", "misc", (600, 2400), False, "C", False),
        ("Children's outgrown toys, boxed", "misc", (60, 200), False, "C", False),
    ],
}

MAKERS = {
    "av": ["Veltrana Electronics", "Orbicon", "Saxby Audio Works", "Kestrel Vision"],
    "furn": ["Hollins & Marr", "Northdale Furniture", "Tamsin Oakcraft", "Birchley Home"],
    "light": ["Lumen & Lathe", "Calder Lighting"],
    "textile": ["Fenwold Weavers", "Ashcombe Linen Co."],
    "misc": ["Various", "Unknown"],
    "clock": ["Brennard Clockmakers", "Huxley & Sons"],
    "art": ["Local artist", "Estate sale"],
    "white": ["Sorvik Appliances", "Delmont Home", "Ferrand", "Aquilo"],
    "small": ["Brightmoor", "Sorvik Appliances", "Ketterley", "Pellow"],
    "cook": ["Hartwell Cookware", "Fennick & Lowe"],
    "china": ["Stavely Pottery", "Corran Crystal"],
    "silver": ["Ashbury Silversmiths"],
    "jewel": ["Marchetti Jewellers", "Rowan & Hale"],
    "watch": ["Halvorsen Watch Co."],
    "cloth": ["Various"],
    "comp": ["Quillon Computers", "Nexora", "Tarrant Systems", "Velox Mobile"],
    "photo": ["Optira", "Hazelmere Optics"],
    "bike": ["Ridgeway Cycles", "Carrow Bikes"],
    "music": ["Albrecht & Sohn", "Tessaro Instruments"],
    "heat": ["Thermfield", "Claremont Heating"],
    "garden": ["Greenacre Tools", "Holtby Garden Power"],
    "tools": ["Stanbridge Tools", "Kelso Pro"],
}
SUPPLIERS = {
    "av": ["Tollgate Electrical", "Northgate Home Tech", "Online order"],
    "furn": ["Birchley Home Store", "Hollins & Marr showroom", "Ashcombe Antiques"],
    "light": ["Birchley Home Store", "Online order"],
    "textile": ["Fenwold Mill Shop", "Birchley Home Store"],
    "misc": ["Various shops", "Market stalls and fairs", "Gift"],
    "clock": ["Pellingford Auction Rooms", "Huxley & Sons"],
    "art": ["Harbour Gallery", "Pellingford Auction Rooms"],
    "white": ["Tollgate Electrical", "Meadowbank Appliances"],
    "small": ["Tollgate Electrical", "Meadowbank Appliances", "Online order"],
    "cook": ["Hartwell Cookshop", "Online order"],
    "china": ["Stavely Pottery shop", "Department store"],
    "silver": ["Ashbury Silversmiths"],
    "jewel": ["Marchetti Jewellers", "Rowan & Hale, Castle St"],
    "watch": ["Rowan & Hale, Castle St"],
    "cloth": ["Various shops"],
    "comp": ["Northgate Home Tech", "Online order", "Quillon Store"],
    "photo": ["Camera Centre Pellingford", "Online order"],
    "bike": ["Spokes & Sprockets", "Ridgeway Cycles"],
    "music": ["Tessaro Music", "Private sale"],
    "heat": ["Tollgate Boiler Services"],
    "garden": ["Greenacre Garden Centre", "Holtby Machinery"],
    "tools": ["Stanbridge Trade Counter", "Online order"],
}
SERIAL_PREFIX = {"av": "AV", "white": "WG", "small": "SA", "comp": "PC", "photo": "OP",
                 "bike": "FR", "music": "MI", "heat": "HT", "garden": "GT", "tools": "TL",
                 "watch": "W", "clock": "CK"}


# Kinds of things a household often has more than one of.
REPEATABLE = {"furn", "light", "textile", "misc", "small", "cook", "cloth", "tools", "garden",
              "comp", "bike", "art", "china"}


def random_date(start, end):
    return start + datetime.timedelta(days=rng.randrange((end - start).days))


def make_items():
    policy_of = {"C": "HMI-204518-HC", "P": "HMI-204518-PP", "G": "BGA/77/310452",
                 "O": "BGA/77/310460", "M": "BGA/77/310479"}
    items = []  # (row, kind, serviceable)
    code = 0
    seen_serials = set()
    for room in ROOMS:
        for desc, kind, (lo, hi), serial, pkind, serviceable in ROOM_ITEMS[room]:
            # Some things come in more than one (a second television, several
            # lamps): the description stays, the details differ.
            if kind in REPEATABLE and "set of" not in desc:
                copies = 1 + (rng.random() < 0.8) + (rng.random() < 0.5) + (rng.random() < 0.3)
            else:
                copies = 1 + (rng.random() < 0.15)
            for n in range(copies):
                code += 1
                maker = rng.choice(MAKERS[kind])
                supplier = rng.choice(SUPPLIERS[kind])
                bought = random_date(datetime.date(2009, 1, 1), datetime.date(2026, 10, 31))
                price = round(rng.uniform(lo, hi), 2)
                serial_no = ""
                if serial:
                    while True:
                        serial_no = "%s%s-%06d" % (SERIAL_PREFIX.get(kind, "SN"),
                                                   bought.strftime("%y"), rng.randrange(10 ** 6))
                        if serial_no not in seen_serials:
                            break
                    seen_serials.add(serial_no)
                receipt = ""
                if rng.random() < 0.75:
                    receipt = "INV %d/%05d" % (bought.year, rng.randrange(100000))
                policy = policy_of[pkind]
                if rng.random() < 0.04:
                    policy = ""  # not insured yet: only the other keys reach it
                electrical = kind in ("av", "white", "small", "comp", "photo", "heat", "garden",
                                      "tools", "watch")
                sw = "1 YEAR" if electrical else ("NONE" if kind in ("misc", "art") else "")
                mw = rng.choice(["2 YEARS PARTS+LABOUR", "3 YEARS PARTS", "5 YEARS"]) if electrical else ""
                ext = ""
                if electrical and price > 300 and rng.random() < 0.3:
                    ext = "Extended cover to %d, with supplier" % (bought.year + 5)
                valuable = price > 500 or kind in ("jewel", "watch", "photo", "comp", "bike")
                items.append(([
                    code, policy, desc, serial_no, day(bought), money(price), receipt,
                    tick(0.5) if receipt else "0", supplier, maker, sw, mw, ext, room,
                    tick(0.6) if valuable else "0", tick(0.25) if valuable else "0",
                    tick(0.7) if valuable else tick(0.1), "", ""], kind, serviceable, bought))
    return items


def main():
    os.makedirs(OUT, exist_ok=True)
    write("LOCATIONS", [[r] for r in sorted(ROOMS)])
    write("INSURANCE_COMPANY", [list(i) for i in INSURERS])
    policies = []
    for ref, ins, start, ptype, ncb, excess, premium, extra, ad, limit, cover in POLICIES:
        expires = start.replace(year=start.year + 1) - datetime.timedelta(days=1)
        policies.append([ref, ins, INSURER_NAME[ins], day(start), day(expires), ptype, ncb,
                         money(excess), money(premium), extra, ad, money(limit), money(cover)])
    write("POLICY", policies)

    items = make_items()
    write("ITEMS", [row for row, _, _, _ in items])

    companies = [
        (1, "Tollgate Boiler Services", "Unit 9", "Tollgate Trading Est", "Pellingford", "PF4 8NE",
         "01632 960233", "01632 960234", "jobs@tollgate.test", "Gareth Pryce", "214"),
        (2, "Meadowbank Appliance Repairs", "2 Meadowbank Road", "", "Pellingford", "PF2 6AX",
         "01632 960871", "", "info@meadowbank.test", "Sue Allardyce", ""),
        (3, "Spokes & Sprockets", "41 Market Street", "", "Pellingford", "PF1 1BT",
         "01632 960155", "", "shop@spokes.test", "Dev Malhotra", ""),
        (4, "Holtby Machinery", "Holtby Farm", "Lower Lane", "Ashcombe", "AS3 9PL",
         "01632 960640", "01632 960641", "service@holtby.test", "Ron Holtby", "3"),
        (5, "Huxley & Sons, Clockmakers", "The Old Forge", "8 Church Row", "Pellingford", "PF1 2HH",
         "01632 960318", "", "huxley@clocks.test", "Peter Huxley", ""),
        (6, "Tessaro Music", "112 High Street", "", "Marlow Vale", "MV7 1AA",
         "0161 496 0457", "0161 496 0458", "tuning@tessaro.test", "Lena Marsh", "20"),
        (7, "Northgate Home Tech", "Northgate Retail Pk", "Ring Road", "Pellingford", "PF5 0QQ",
         "01632 960902", "", "repairs@ngate.test", "Help desk", "4"),
    ]
    write("COMPANIES", [list(c) for c in companies])
    company_for = {"heat": 1, "white": 2, "small": 2, "bike": 3, "garden": 4, "clock": 5,
                   "watch": 5, "music": 6, "av": 7, "comp": 7, "photo": 7}
    services = []
    ref = 0
    for row, kind, serviceable, bought in items:
        if not serviceable or rng.random() < 0.35:
            continue
        company = company_for.get(kind, 2)
        visits = 1 + (rng.random() < 0.5) + (kind in ("heat", "music") and bought.year < 2022)
        when = random_date(max(bought, datetime.date(2019, 1, 1)), TODAY)
        for v in range(visits):
            if when > TODAY:
                break
            ref += 1
            back = when + datetime.timedelta(days=rng.choice([0, 0, 1, 3, 7, 14]))
            next_due = when + datetime.timedelta(days=365 if kind in ("heat", "music", "clock") else 730)
            cost = rng.choice([0, 45, 65, 85, 95, 120, 160, 240]) + rng.choice([0, 0.5, 0.99])
            services.append([ref, company, companies[company - 1][1], row[0], day(when), money(cost),
                             "JOB %05d" % rng.randrange(100000), day(back), day(next_due)])
            when = next_due + datetime.timedelta(days=rng.randrange(-20, 40))
    write("SERVICE", services)

    repairs = ["Replaced drum bearing", "New door seal fitted", "Replaced main board",
               "Screen replaced under warranty", "Pump replaced", "Thermostat replaced",
               "Battery replaced", "Firmware fault, unit exchanged", "Hinge repaired",
               "Heating element replaced", "Fan motor replaced", "Keyboard replaced"]
    warranties = []
    wref = 0
    candidates = [it for it in items if it[1] in ("white", "small", "av", "comp", "heat", "photo")
                  and it[3] > datetime.date(2021, 1, 1)]
    for row, kind, _, bought in rng.sample(candidates, min(16, len(candidates))):
        wref += 1
        when = random_date(bought, min(TODAY, bought + datetime.timedelta(days=700)))
        warranties.append([row[0], wref, day(when), rng.choice(repairs),
                           money(rng.choice([0, 0, 0, 25, 49.5])), tick(0.85)])
    write("WARRANTY", warranties)

    claims = []
    statuses = ["PENDING", "PART SETTLED", "SETTLED", "SETTLED", "NOT SUBMITTED", "NOT KNOWN"]
    # What happened, whether the police were told, and which things it can
    # have happened to (by room or by kind).
    stories = [
        ("Stolen from the garage during a break-in; side door forced.", True, "Garage"),
        ("Dropped on a tiled floor; screen cracked and will not switch on.", False, "comp"),
        ("Water damage from a leaking pipe in the loft.", False, "Loft"),
        ("Taken from a bag on the train; reported to transport police.", True, "photo"),
        ("Damaged by a power surge during a storm; repair estimate attached.", False, "av"),
        ("Lost while on holiday; airline report number on file.", False, "jewel"),
        ("Knocked over by the dog; frame and glass broken.", False, "art"),
        ("Stolen from the shed; padlock cut.", True, "Garden Shed"),
        ("Spilt red wine; professional cleaning failed.", False, "textile"),
    ]
    picked = []
    for _, _, where in stories:
        fits = [it for it in items if (it[0][13] == where or it[1] == where) and it not in picked]
        picked.append(rng.choice(fits))
    for n, ((row, _, _, bought), (story, police, _)) in enumerate(zip(picked, stories), start=1):
        when = random_date(max(bought, datetime.date(2022, 1, 1)), TODAY)
        crime = "CR/%d/%05d" % (when.year, rng.randrange(100000)) if police else ""
        reported = day(when - datetime.timedelta(days=rng.randrange(0, 3))) if police else ""
        insurer_ref = "CLM-%d-%04d" % (when.year, rng.randrange(10000))
        status = rng.choice(statuses)
        if status == "NOT SUBMITTED":
            insurer_ref = ""
        claims.append([n, row[0], insurer_ref, crime, reported, day(when), status, story])
    write("CLAIM", claims)

    counts = {"ITEMS": len(items), "SERVICE": len(services), "WARRANTY": len(warranties),
              "CLAIM": len(claims)}
    print(" ".join("%s %d" % kv for kv in counts.items()))


if __name__ == "__main__":
    main()
