-- Imports that refuse what the generation would refuse, in the words the editor uses too (messages
-- M750 to M759; "%1", "%2"... take the values, "$$" the file).
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M750', 'holds the place-holder %1, which cannot be expanded');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M751', 'belongs to level %1, not to the telephone level P');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M752', 'takes the telephone''s code or description through a place-holder, and then %1');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M753', 'goes into parameter %1 through a place-holder, and its value then %2');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M754', 'a telephone needs a description');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M755', 'The check stopped at line %1 of %2: the lines after it were not checked.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M756', 'The first %1 of %2 problems are listed.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M757', '$$ is not a user list: it lists no user. Nothing was changed.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M758', 'the line is longer than %1 characters; the check stops there');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M759', 'the header gives this column no name');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M750', 'contient le marqueur %1, qui ne peut pas être remplacé');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M751', 'appartient au niveau %1, pas au niveau du téléphone P');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M752', 'reçoit par un marqueur le code ou la description du téléphone, et alors %1');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M753', 'entre par un marqueur dans le paramètre %1, dont la valeur alors %2');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M754', 'un téléphone doit avoir une description');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M755', 'La vérification s''est arrêtée à la ligne %1 sur %2 : les lignes suivantes n''ont pas été vérifiées.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M756', 'Les %1 premiers des %2 problèmes sont affichés.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M757', '$$ n''est pas une liste d''utilisateurs : elle ne nomme aucun utilisateur. Rien n''a été modifié.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M758', 'la ligne dépasse %1 caractères ; la vérification s''arrête là');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M759', 'l''en-tête ne donne pas de nom à cette colonne');
