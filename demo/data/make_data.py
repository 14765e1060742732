#!/usr/bin/env python3
"""Writes the demo installation's sample data as CSV (UTF-8) for `zurdata import`:
texts.csv, properties.csv, owners.csv and receipts.csv in the folder given (default:
this script's folder). The output is the same on every run."""
import csv
import os
import random
import sys

out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
rng = random.Random(2026)

texts = [
    ("RECORDA", "Recordatori de rebuts pendents", "CARTES"),
    ("CONVOCA", "Convocatòria de junta general", "CARTES"),
    ("CIRCULAR", "Comunicat d'obres amb annex", "CARTES"),
    ("CAPCAL", "Capçalera comuna (peça inclosa)", "PECES"),
    ("PEU", "Peu de signatura (peça inclosa)", "PECES"),
]

properties = [
    (1, "Carrer Major, 12", "17001 Girona", "Girona"),
    (2, "Rambla Nova, 45", "43001 Tarragona", "Tarragona"),
    (3, "Plaça de la Paeria, 3", "25007 Lleida", "Lleida"),
    (4, "Carrer de Sant Pere, 27", "08500 Vic", "Barcelona"),
    (5, "Passeig Marítim, 8", "08870 Sitges", "Barcelona"),
]

surnames = ["Serra", "Pujol", "Vila", "Puig", "Soler", "Ferrer", "Roca", "Font", "Riera",
            "Vidal", "Casals", "Bosch", "Martí", "Sala", "Coll", "Güell", "Prat", "Camps",
            "Planas", "Mas", "Rovira", "Tarrés", "Oliveras", "Cortès", "Subirà", "Badia"]
given = ["Anna", "Jordi", "Núria", "Josep", "Montserrat", "Joan", "Maria", "Pere",
         "Mercè", "Àngel", "Laia", "Marc", "Roser", "Oriol", "Carme", "Xavier", "Eulàlia",
         "Arnau", "Glòria", "Enric", "Pilar", "Francesc", "Teresa", "Lluís"]
floors = ["Baixos", "Entl.", "1r", "2n", "3r", "4t", "5è", "Àtic"]
doors = ["1a", "2a", "3a", "4a"]

owners = []
for prop in properties:
    number = prop[0]
    count = rng.randint(7, 12)
    units = [f"{f} {d}" for f in floors for d in doors][:count]
    for owner in range(1, count + 1):
        name = f"{rng.choice(surnames)} {rng.choice(surnames)}*{rng.choice(given)}"
        mail = ("", "", "")
        if rng.random() < 0.2:
            mail = (f"Carrer de {rng.choice(surnames)}, {rng.randint(1, 120)}",
                    f"080{rng.randint(10, 42)} Barcelona", "Barcelona")
        elif rng.random() < 0.05:
            mail = (f"Apartat de correus {rng.randint(100, 999)}", "", "")
        owners.append((number, owner, name, units[owner - 1], *mail))

receipts = []
quarters = [(y, m) for y in (2025, 2026) for m in (1, 4, 7, 10)]
for (number, owner, *_rest) in owners:
    fee = rng.choice([9000, 12000, 15050, 18000, 21075])
    debtor = rng.random() < 0.35
    for i, (y, m) in enumerate(quarters):
        state = "C"
        if debtor and i >= len(quarters) - rng.randint(1, 4):
            state = rng.choice(["P", "P", "D"])
        elif rng.random() < 0.03:
            state = "X"
        receipts.append((number, owner, f"{y}-{m:02d}-01", f"{fee / 100:.2f}", state))
    if debtor and rng.random() < 0.5:
        receipts.append((number, owner, "2026-06-15", f"{rng.randint(3000, 40000) / 100:.2f}", "P"))
receipts.sort(key=lambda r: (r[0], r[1], r[2]))


def write(name, header, rows):
    with open(os.path.join(out, name), "w", newline="", encoding="utf-8") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(header)
        w.writerows(rows)


write("texts.csv", ["code", "description", "group"], texts)
write("properties.csv", ["property", "address1", "address2", "address3"], properties)
write("owners.csv", ["property", "owner", "name", "unit", "mail1", "mail2", "mail3"], owners)
write("receipts.csv", ["property", "owner", "date", "amount", "state"], receipts)
