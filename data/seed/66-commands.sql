-- Command-line tool and engines of the commands: reboot answers, renaming a code.
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M460', 'No answer from $$: the connection closed without a reply.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M461', 'The telephone answered with an error: $$');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M460', 'Pas de réponse de $$ : la connexion a été fermée sans réponse.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M461', 'Le téléphone a répondu par une erreur : $$');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M462', 'There is no company $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M463', 'There is no model $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M464', 'There is no telephone $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M465', '$$ is used already: nothing was renamed.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M466', 'The code "$$" cannot name a file (a blank at either end, a control character or one of / \ : * ? " < > | or ..): nothing was renamed.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M467', 'The new code is the old one: nothing to rename.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M468', 'Rename $$?');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M469', 'Renamed $$');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M470', 'Renaming a code needs the second password of the settings table.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M462', 'Il n''y a pas de société $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M463', 'Il n''y a pas de modèle $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M464', 'Il n''y a pas de téléphone $$.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M465', '$$ est déjà utilisé : rien n''a été renommé.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M466', 'Le code « $$ » ne peut pas nommer un fichier (un blanc en tête ou en fin, un caractère de contrôle ou l''un de / \ : * ? " < > | ou ..) : rien n''a été renommé.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M467', 'Le nouveau code est l''ancien : rien à renommer.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M468', 'Renommer $$ ?');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M469', 'Renommé : $$');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M470', 'Renommer un code demande le second mot de passe de la table des paramètres.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M471', 'New code for $$:');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M471', 'Nouveau code pour $$ :');
-- The editor's record menu: renaming the code of the clicked company, model or telephone.
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'FPARAMETERS_RENAME', 'Rename…');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'FPARAMETERS_RENAME', 'Renommer…');
